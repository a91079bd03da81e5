#include "platform/ConfigureDialog.h"

#include "dynload/GtkLibrary.h"
#include "platform/Charset.h"
#include "platform/MessageBox.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdio>

std::string MnemonicToGtk(const AnsiString& caption) {
    AnsiString out;
    for (size_t i = 0; i < caption.size(); ++i) {
        const char c = caption[i];
        if (c == '&') {
            if (i + 1 < caption.size() && caption[i + 1] == '&') {
                out += '&';
                ++i;
            } else {
                out += '_';
            }
        } else if (c == '_') {
            out += "__";  // a literal underscore
        } else {
            out += c;
        }
    }
    return AnsiToUtf8(out);
}

char UserDecimalSeparator() {
    locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (!loc) return '.';
    const std::string radix = nl_langinfo_l(RADIXCHAR, loc);
    freelocale(loc);
    // The locale's text is UTF-8 (or ASCII); only a single Windows-1252 character serves.
    const AnsiString ansi = Utf8ToAnsi(radix);
    if (ansi.size() != 1 || ansi[0] == '?' || (ansi[0] >= '0' && ansi[0] <= '9')) return '.';
    return ansi[0];
}

namespace {

std::string ColorText(TColor c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return buf;
}

// Everything the signal handlers need; lives on RunConfigureDialog's stack.
struct TDialog {
    const TGtkFunctions* Gtk = nullptr;
    const TConfigureDialogTexts* Texts = nullptr;
    TConfigureDialogValues* Values = nullptr;
    const TConfigureDialogHandlers* Handlers = nullptr;
    GtkWidget* Window = nullptr;
    GtkWidget* UseSound = nullptr;
    GtkWidget* Resume = nullptr;
    GtkWidget* Shuffle = nullptr;
    GtkWidget* Duration = nullptr;
    GtkWidget* LinkLabel = nullptr;
    THoverLabel Link{TFont{}};
    bool Updating = false;  // values are being shown: widget signals are ours, not the user's

    void Read() {
        const TGtkFunctions& gtk = *Gtk;
        Values->UseSound = gtk.gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(UseSound));
        Values->ResumeAtLastPos = gtk.gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(Resume));
        Values->Shuffle = gtk.gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(Shuffle));
        Values->DurationText = Utf8ToAnsi(gtk.gtk_entry_get_text(GTK_ENTRY(Duration)));
        Values->FocusDuration = false;
    }

    void Show() {
        const TGtkFunctions& gtk = *Gtk;
        Updating = true;
        gtk.gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(UseSound), Values->UseSound);
        gtk.gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Resume), Values->ResumeAtLastPos);
        gtk.gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Shuffle), Values->Shuffle);
        const std::string text = AnsiToUtf8(Values->DurationText);
        if (text != gtk.gtk_entry_get_text(GTK_ENTRY(Duration))) gtk.gtk_entry_set_text(GTK_ENTRY(Duration), text.c_str());
        if (Values->FocusDuration) {
            gtk.gtk_widget_grab_focus(Duration);
            gtk.gtk_editable_select_region(GTK_EDITABLE(Duration), 0, -1);
            Values->FocusDuration = false;
        }
        Updating = false;
    }

    void ShowLink() {
        const TGtkFunctions& gtk = *Gtk;
        gchar* escaped = gtk.g_markup_escape_text(AnsiToUtf8(Texts->WebAddress).c_str(), -1);
        std::string markup = "<span foreground=\"" + ColorText(Link.Font.Color) + "\"";
        if (Link.Font.Style & fsUnderline) markup += " underline=\"single\"";
        markup += ">";
        markup += escaped;
        markup += "</span>";
        gtk.g_free(escaped);
        gtk.gtk_label_set_markup(GTK_LABEL(LinkLabel), markup.c_str());
    }
};

void OnToggled(GtkToggleButton* button, gpointer data) {
    auto* d = static_cast<TDialog*>(data);
    if (d->Updating) return;
    d->Read();
    if (GTK_WIDGET(button) == d->Resume && d->Handlers->ResumeAtLastPosClick)
        d->Handlers->ResumeAtLastPosClick(*d->Values);
    else if (GTK_WIDGET(button) == d->Shuffle && d->Handlers->ShuffleClick)
        d->Handlers->ShuffleClick(*d->Values);
    d->Show();
}

// Every character typed or pasted passes the caller's filter; one refused character
// refuses the whole insertion.
void OnInsertText(GtkEditable* editable, const gchar* text, gint length, gint*, gpointer data) {
    auto* d = static_cast<TDialog*>(data);
    if (d->Updating) return;
    const TGtkFunctions& gtk = *d->Gtk;
    AnsiString current = Utf8ToAnsi(gtk.gtk_entry_get_text(GTK_ENTRY(editable)));
    const AnsiString typed = Utf8ToAnsi(length < 0 ? std::string(text) : std::string(text, static_cast<size_t>(length)));
    // The length limit holds for typing only: a longer value given by the program is
    // shown whole (an entry's own limit would cut it).
    if (current.size() + typed.size() > static_cast<size_t>(d->Texts->DurationMaxLength)) {
        gtk.g_signal_stop_emission_by_name(editable, "insert-text");
        gtk.gdk_display_beep(gtk.gdk_display_get_default());
        return;
    }
    if (!d->Handlers->DurationKeyPress) return;
    for (char c : typed) {
        if (!d->Handlers->DurationKeyPress(current, c)) {
            gtk.g_signal_stop_emission_by_name(editable, "insert-text");
            gtk.gdk_display_beep(gtk.gdk_display_get_default());
            return;
        }
        current += c;
    }
}

void OnStep(TDialog* d, bool up) {
    d->Read();
    if (d->Handlers->DurationUpDownClick) d->Handlers->DurationUpDownClick(*d->Values, up);
    d->Show();
}
void OnUp(GtkButton*, gpointer data) { OnStep(static_cast<TDialog*>(data), true); }
void OnDown(GtkButton*, gpointer data) { OnStep(static_cast<TDialog*>(data), false); }

void OnOk(GtkButton*, gpointer data) {
    auto* d = static_cast<TDialog*>(data);
    d->Read();
    const bool close = !d->Handlers->OkClick || d->Handlers->OkClick(*d->Values);
    d->Show();
    if (close) d->Gtk->gtk_dialog_response(GTK_DIALOG(d->Window), GTK_RESPONSE_OK);
}

void OnCancel(GtkButton*, gpointer data) {
    auto* d = static_cast<TDialog*>(data);
    d->Gtk->gtk_dialog_response(GTK_DIALOG(d->Window), GTK_RESPONSE_CANCEL);
}

gboolean OnLinkEnter(GtkWidget*, GdkEventCrossing*, gpointer data) {
    auto* d = static_cast<TDialog*>(data);
    d->Link.MouseEnter();
    d->ShowLink();
    return FALSE;
}
gboolean OnLinkLeave(GtkWidget*, GdkEventCrossing*, gpointer data) {
    auto* d = static_cast<TDialog*>(data);
    d->Link.MouseLeave();
    d->ShowLink();
    return FALSE;
}
gboolean OnLinkPress(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* d = static_cast<TDialog*>(data);
    if (event->button == 1 && event->type == GDK_BUTTON_PRESS && d->Handlers->WebPageClick)
        d->Handlers->WebPageClick();
    return TRUE;
}
void OnLinkRealize(GtkWidget* widget, gpointer data) {
    const TGtkFunctions& gtk = *static_cast<TDialog*>(data)->Gtk;
    GdkDisplay* display = gtk.gtk_widget_get_display(widget);
    GdkCursor* hand = gtk.gdk_cursor_new_from_name(display, "pointer");
    if (hand) {
        gtk.gdk_window_set_cursor(gtk.gtk_widget_get_window(widget), hand);
        gtk.g_object_unref(hand);
    }
}

GtkWidget* MnemonicCheck(const TGtkFunctions& gtk, const AnsiString& caption) {
    return gtk.gtk_check_button_new_with_mnemonic(MnemonicToGtk(caption).c_str());
}

GtkWidget* ArrowButton(const TGtkFunctions& gtk, const char* icon) {
    GtkWidget* b = gtk.gtk_button_new_from_icon_name(icon, GTK_ICON_SIZE_MENU);
    gtk.gtk_widget_set_can_focus(b, FALSE);
    gtk.gtk_widget_set_focus_on_click(b, FALSE);
    return b;
}

// g_signal_connect is a macro over the function the table holds.
void Connect(const TGtkFunctions& gtk, GtkWidget* widget, const char* signal, GCallback handler, TDialog* d) {
    gtk.g_signal_connect_data(widget, signal, handler, d, nullptr, GConnectFlags{});
}

// The options inside their group box, wired to the dialog.
GtkWidget* OptionsGroup(TDialog& d) {
    const TGtkFunctions& gtk = *d.Gtk;
    const TConfigureDialogTexts& texts = *d.Texts;
    GtkWidget* group = gtk.gtk_frame_new(AnsiToUtf8(texts.GroupCaption).c_str());
    GtkWidget* grid = gtk.gtk_grid_new();
    gtk.gtk_container_set_border_width(GTK_CONTAINER(grid), 8);
    gtk.gtk_grid_set_row_spacing(GTK_GRID(grid), 6);
    gtk.gtk_grid_set_column_spacing(GTK_GRID(grid), 6);
    gtk.gtk_container_add(GTK_CONTAINER(group), grid);

    d.UseSound = MnemonicCheck(gtk, texts.UseSound);
    d.Resume = MnemonicCheck(gtk, texts.ResumeAtLastPos);
    d.Shuffle = MnemonicCheck(gtk, texts.Shuffle);
    gtk.gtk_grid_attach(GTK_GRID(grid), d.UseSound, 0, 0, 4, 1);
    gtk.gtk_grid_attach(GTK_GRID(grid), d.Resume, 0, 1, 4, 1);
    gtk.gtk_grid_attach(GTK_GRID(grid), d.Shuffle, 0, 2, 4, 1);

    GtkWidget* label1 = gtk.gtk_label_new_with_mnemonic(MnemonicToGtk(texts.DurationLabel).c_str());
    gtk.gtk_widget_set_halign(label1, GTK_ALIGN_START);
    d.Duration = gtk.gtk_entry_new();
    gtk.gtk_entry_set_width_chars(GTK_ENTRY(d.Duration), texts.DurationMaxLength + 1);
    gtk.gtk_entry_set_activates_default(GTK_ENTRY(d.Duration), TRUE);
    gtk.gtk_widget_set_valign(d.Duration, GTK_ALIGN_CENTER);
    gtk.gtk_label_set_mnemonic_widget(GTK_LABEL(label1), d.Duration);
    GtkWidget* upDown = gtk.gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    GtkWidget* up = ArrowButton(gtk, "pan-up-symbolic");
    GtkWidget* down = ArrowButton(gtk, "pan-down-symbolic");
    gtk.gtk_box_pack_start(GTK_BOX(upDown), up, TRUE, TRUE, 0);
    gtk.gtk_box_pack_start(GTK_BOX(upDown), down, TRUE, TRUE, 0);
    GtkWidget* label2 = gtk.gtk_label_new(AnsiToUtf8(texts.DurationUnit).c_str());
    gtk.gtk_widget_set_halign(label2, GTK_ALIGN_START);
    gtk.gtk_grid_attach(GTK_GRID(grid), label1, 0, 3, 1, 1);
    gtk.gtk_grid_attach(GTK_GRID(grid), d.Duration, 1, 3, 1, 1);
    gtk.gtk_grid_attach(GTK_GRID(grid), upDown, 2, 3, 1, 1);
    gtk.gtk_grid_attach(GTK_GRID(grid), label2, 3, 3, 1, 1);

    Connect(gtk, d.Resume, "toggled", G_CALLBACK(OnToggled), &d);
    Connect(gtk, d.Shuffle, "toggled", G_CALLBACK(OnToggled), &d);
    Connect(gtk, d.UseSound, "toggled", G_CALLBACK(OnToggled), &d);
    Connect(gtk, d.Duration, "insert-text", G_CALLBACK(OnInsertText), &d);
    Connect(gtk, up, "clicked", G_CALLBACK(OnUp), &d);
    Connect(gtk, down, "clicked", G_CALLBACK(OnDown), &d);
    return group;
}

// The bevel line, the creator and the link, below the options.
void AddCreatorAndLink(TDialog& d, GtkWidget* content) {
    const TGtkFunctions& gtk = *d.Gtk;
    gtk.gtk_box_pack_start(GTK_BOX(content), gtk.gtk_separator_new(GTK_ORIENTATION_HORIZONTAL), FALSE, FALSE, 0);
    GtkWidget* creator = gtk.gtk_label_new(AnsiToUtf8(d.Texts->Creator).c_str());
    gtk.gtk_label_set_line_wrap(GTK_LABEL(creator), TRUE);
    gtk.gtk_widget_set_halign(creator, GTK_ALIGN_START);
    gtk.gtk_box_pack_start(GTK_BOX(content), creator, FALSE, FALSE, 0);
    GtkWidget* linkBox = gtk.gtk_event_box_new();
    gtk.gtk_widget_add_events(linkBox, GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK | GDK_BUTTON_PRESS_MASK);
    d.LinkLabel = gtk.gtk_label_new(nullptr);
    d.ShowLink();
    gtk.gtk_container_add(GTK_CONTAINER(linkBox), d.LinkLabel);
    gtk.gtk_widget_set_halign(linkBox, GTK_ALIGN_START);
    gtk.gtk_box_pack_start(GTK_BOX(content), linkBox, FALSE, FALSE, 0);
    Connect(gtk, linkBox, "enter-notify-event", G_CALLBACK(OnLinkEnter), &d);
    Connect(gtk, linkBox, "leave-notify-event", G_CALLBACK(OnLinkLeave), &d);
    Connect(gtk, linkBox, "button-press-event", G_CALLBACK(OnLinkPress), &d);
    Connect(gtk, linkBox, "realize", G_CALLBACK(OnLinkRealize), &d);
}

// OK and Cancel: OK validates through the caller before it closes. Answers OK.
GtkWidget* AddButtons(TDialog& d, GtkWidget* content) {
    const TGtkFunctions& gtk = *d.Gtk;
    GtkWidget* actions = gtk.gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    GtkWidget* ok = gtk.gtk_button_new_with_mnemonic(MnemonicToGtk(d.Texts->OkButton).c_str());
    GtkWidget* cancel = gtk.gtk_button_new_with_mnemonic(MnemonicToGtk(d.Texts->CancelButton).c_str());
    gtk.gtk_box_pack_end(GTK_BOX(actions), cancel, FALSE, FALSE, 0);
    gtk.gtk_box_pack_end(GTK_BOX(actions), ok, FALSE, FALSE, 0);
    gtk.gtk_box_pack_start(GTK_BOX(content), actions, FALSE, FALSE, 0);
    gtk.gtk_widget_set_can_default(ok, TRUE);
    Connect(gtk, ok, "clicked", G_CALLBACK(OnOk), &d);
    Connect(gtk, cancel, "clicked", G_CALLBACK(OnCancel), &d);
    return ok;
}

}  // namespace

int RunConfigureDialog(const TConfigureDialogTexts& texts, TConfigureDialogValues& values,
                       const TConfigureDialogHandlers& handlers) {
    if (!GuiAvailable()) {
        std::fprintf(stderr, "%s\n", AnsiToUtf8("Keine Anzeige: Die Einstellungen k\xF6nnen nicht gezeigt werden.").c_str());
        return mrNone;
    }
    std::string why;
    const TGtkFunctions& gtk = *Gtk(why);  // GuiAvailable() loaded it
    TDialog d;
    d.Gtk = &gtk;
    d.Texts = &texts;
    d.Values = &values;
    d.Handlers = &handlers;
    d.Link.HoverColor = 0xFF0000;   // blue in the 0x00BBGGRR layout
    d.Link.NormalColor = 0xFF0000;
    d.Link.Font.Color = d.Link.NormalColor;

    GtkWidget* window = gtk.gtk_dialog_new();
    d.Window = window;
    gtk.gtk_window_set_title(GTK_WINDOW(window), AnsiToUtf8(texts.Caption).c_str());
    gtk.gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk.gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk.gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_DIALOG);

    GtkWidget* content = gtk.gtk_dialog_get_content_area(GTK_DIALOG(window));
    gtk.gtk_container_set_border_width(GTK_CONTAINER(content), 8);
    gtk.gtk_box_set_spacing(GTK_BOX(content), 8);
    gtk.gtk_box_pack_start(GTK_BOX(content), OptionsGroup(d), FALSE, FALSE, 0);
    AddCreatorAndLink(d, content);
    GtkWidget* ok = AddButtons(d, content);

    d.Show();
    gtk.gtk_widget_show_all(window);
    gtk.gtk_widget_grab_default(ok);
    gtk.gtk_widget_grab_focus(d.UseSound);  // the first active control

    const gint response = gtk.gtk_dialog_run(GTK_DIALOG(window));
    if (response == GTK_RESPONSE_OK) d.Read();
    gtk.gtk_widget_destroy(window);
    while (gtk.gtk_events_pending()) gtk.gtk_main_iteration();
    return response == GTK_RESPONSE_OK ? mrOk : mrCancel;
}
