#include "objects/PlayerPreparation.h"

#include "document/PlayerServices.h"

IPreparationSteps* PreparationOf(IPlayerServices* player) {
    auto* preparing = dynamic_cast<IPreparingPlayer*>(player);
    return preparing ? &preparing->Preparation() : nullptr;
}
