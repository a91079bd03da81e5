#include "platform/MessageBox.h"

#include "dynload/GtkLibrary.h"
#include "platform/Charset.h"
#include "platform/MessageQueue.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

TMessageBoxSystem* installed = nullptr;

// The window the user works in (the settings dialog, when a box comes from it), so
// the box stays in front of it.
GtkWindow* ActiveWindow(const TGtkFunctions& gtk) {
    GtkWindow* active = nullptr;
    GList* all = gtk.gtk_window_list_toplevels();
    for (GList* w = all; w; w = w->next)
        if (gtk.gtk_window_is_active(GTK_WINDOW(w->data)) && gtk.gtk_widget_get_visible(GTK_WIDGET(w->data)))
            active = GTK_WINDOW(w->data);
    gtk.g_list_free(all);
    return active;
}

// How often an open box looks for a quit (SIGTERM, SIGINT) that should close it.
constexpr guint kQuitCheckMs = 100;

struct TQuitWatch {
    const TGtkFunctions* Gtk;
    GtkWidget* Dialog;
};

gboolean CloseOnQuit(gpointer data) {
    auto* watch = static_cast<TQuitWatch*>(data);
    // The quit stays queued: the run ends the normal way once the box is gone.
    if (QuitOrInputPending(false)) watch->Gtk->gtk_dialog_response(GTK_DIALOG(watch->Dialog), GTK_RESPONSE_CLOSE);
    return G_SOURCE_CONTINUE;
}

}  // namespace

bool GuiAvailable() {
    static const bool available = [] {
        const char* forced = std::getenv("GC_NO_DISPLAY");
        if (forced && std::strcmp(forced, "1") == 0) return false;
        // gtk_init_check returns False instead of exiting when no display opens. Without
        // DISPLAY or WAYLAND_DISPLAY GDK would still try and print warnings; skip it.
        if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) return false;
        // GTK loads only now, when a box or the dialog is due. Without it there is a
        // display but no way to show anything on it: say why, once.
        std::string why;
        const TGtkFunctions* gtk = Gtk(why);
        if (!gtk) {
            std::fprintf(stderr, "%s\n", why.c_str());
            std::fflush(stderr);
            return false;
        }
        return gtk->gtk_init_check(nullptr, nullptr) != FALSE;
    }();
    return available;
}

AnsiString MessageBoxTitle(TMsgDlgType type) {
    switch (type) {
    case TMsgDlgType::mtWarning: return "Warnung";
    case TMsgDlgType::mtError: return "Fehler";
    case TMsgDlgType::mtInformation: return "Information";
    }
    return "";
}

void SetMessageBoxSystem(TMessageBoxSystem* system) { installed = system; }

int ShowMessageBox(const AnsiString& text, TMsgDlgType type) {
    if (installed) return installed->Show(text, type);
    const std::string utf8 = AnsiToUtf8(text);
    if (!GuiAvailable()) {
        std::fprintf(stderr, "%s: %s\n", AnsiToUtf8(MessageBoxTitle(type)).c_str(), utf8.c_str());
        std::fflush(stderr);
        return mrOk;
    }
    std::string why;
    const TGtkFunctions& gtk = *Gtk(why);  // GuiAvailable() loaded it
    GtkMessageType kind = GTK_MESSAGE_INFO;
    if (type == TMsgDlgType::mtWarning) kind = GTK_MESSAGE_WARNING;
    if (type == TMsgDlgType::mtError) kind = GTK_MESSAGE_ERROR;
    GtkWidget* dialog =
        gtk.gtk_message_dialog_new(ActiveWindow(gtk), GTK_DIALOG_MODAL, kind, GTK_BUTTONS_OK, "%s", utf8.c_str());
    gtk.gtk_window_set_title(GTK_WINDOW(dialog), AnsiToUtf8(MessageBoxTitle(type)).c_str());
    gtk.gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
    TQuitWatch watch{&gtk, dialog};
    const guint watcher = gtk.g_timeout_add(kQuitCheckMs, &CloseOnQuit, &watch);
    gtk.gtk_dialog_run(GTK_DIALOG(dialog));
    gtk.g_source_remove(watcher);
    gtk.gtk_widget_destroy(dialog);
    // Let the window really vanish before whatever comes next.
    while (gtk.gtk_events_pending()) gtk.gtk_main_iteration();
    return mrOk;
}
