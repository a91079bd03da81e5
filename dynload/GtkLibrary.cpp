#include "dynload/GtkLibrary.h"

std::vector<std::string> GtkSonames() {
    std::vector<std::string> names(gtkPartCount);
    names[gtkGLib] = "libglib-2.0.so.0";
    names[gtkGObject] = "libgobject-2.0.so.0";
    names[gtkGdk] = "libgdk-" + std::to_string(GTK_MAJOR_VERSION) + ".so.0";
    names[gtkGtk] = "libgtk-" + std::to_string(GTK_MAJOR_VERSION) + ".so.0";
    return names;
}

const TGtkFunctions* Gtk(std::string& error) { return LoadOnce<TGtkFunctions>(GtkSonames, error); }
