// Puts a stand-in for a platform facility in use while the guard lives:
// TInstalled<SetTickSource> clock(manualClock) installs it and installs null again at the
// end, also when the scope is left early. Declared right after its stand-in, it ends just
// before the stand-in does, so what is declared later still reaches it while it goes.
#pragma once

template <auto Install>
class TInstalled {
public:
    template <typename TStandIn>
    explicit TInstalled(TStandIn& standIn) {
        Install(&standIn);
    }
    ~TInstalled() { Install(nullptr); }
    TInstalled(const TInstalled&) = delete;
    TInstalled& operator=(const TInstalled&) = delete;
};
