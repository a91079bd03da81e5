// GTK, loaded on first use: only a message box or the settings dialog needs it, so a
// start of the program costs no GTK (nor the GLib, Pango and Cairo it pulls in). The
// message box and the settings dialog reach GTK only through this table.
#pragma once

// The cast macros (GTK_WINDOW(w), ...) would call each class's *_get_type(), a function
// the program does not link; our casts are right by construction, so they stay casts.
#ifndef G_DISABLE_CAST_CHECKS
#define G_DISABLE_CAST_CHECKS
#endif
#include <gtk/gtk.h>

#include "dynload/DynamicLibraries.h"

#include <string>
#include <vector>

// The libraries whose functions we call, in the order they load (each after the ones it needs).
enum TGtkPart { gtkGLib, gtkGObject, gtkGdk, gtkGtk, gtkPartCount };

// Every function the callers use, with the library that exports it. g_signal_connect()
// is a macro over g_signal_connect_data.
#define GC_GTK_FUNCTIONS(X)                                                                         \
    X(gtkGLib, g_free) X(gtkGLib, g_list_free) X(gtkGLib, g_markup_escape_text)                     \
    X(gtkGLib, g_timeout_add) X(gtkGLib, g_source_remove)                                           \
    X(gtkGObject, g_object_unref) X(gtkGObject, g_signal_connect_data)                              \
    X(gtkGObject, g_signal_stop_emission_by_name)                                                   \
    X(gtkGdk, gdk_display_get_default) X(gtkGdk, gdk_display_beep) X(gtkGdk, gdk_cursor_new_from_name) \
    X(gtkGdk, gdk_window_set_cursor)                                                                \
    X(gtkGtk, gtk_init_check) X(gtkGtk, gtk_events_pending) X(gtkGtk, gtk_main_iteration)           \
    X(gtkGtk, gtk_window_list_toplevels) X(gtkGtk, gtk_window_is_active)                            \
    X(gtkGtk, gtk_window_set_title) X(gtkGtk, gtk_window_set_position)                              \
    X(gtkGtk, gtk_window_set_resizable) X(gtkGtk, gtk_window_set_type_hint)                         \
    X(gtkGtk, gtk_message_dialog_new) X(gtkGtk, gtk_dialog_new) X(gtkGtk, gtk_dialog_run)           \
    X(gtkGtk, gtk_dialog_response) X(gtkGtk, gtk_dialog_get_content_area)                           \
    X(gtkGtk, gtk_widget_destroy) X(gtkGtk, gtk_widget_get_visible) X(gtkGtk, gtk_widget_show_all)  \
    X(gtkGtk, gtk_widget_grab_focus) X(gtkGtk, gtk_widget_grab_default)                             \
    X(gtkGtk, gtk_widget_set_can_focus) X(gtkGtk, gtk_widget_set_can_default)                       \
    X(gtkGtk, gtk_widget_set_focus_on_click) X(gtkGtk, gtk_widget_set_halign)                       \
    X(gtkGtk, gtk_widget_set_valign) X(gtkGtk, gtk_widget_add_events)                               \
    X(gtkGtk, gtk_widget_get_display) X(gtkGtk, gtk_widget_get_window)                              \
    X(gtkGtk, gtk_container_add) X(gtkGtk, gtk_container_set_border_width)                          \
    X(gtkGtk, gtk_box_new) X(gtkGtk, gtk_box_set_spacing) X(gtkGtk, gtk_box_pack_start)             \
    X(gtkGtk, gtk_box_pack_end) X(gtkGtk, gtk_grid_new) X(gtkGtk, gtk_grid_attach)                  \
    X(gtkGtk, gtk_grid_set_row_spacing) X(gtkGtk, gtk_grid_set_column_spacing)                      \
    X(gtkGtk, gtk_frame_new) X(gtkGtk, gtk_separator_new) X(gtkGtk, gtk_event_box_new)              \
    X(gtkGtk, gtk_label_new) X(gtkGtk, gtk_label_new_with_mnemonic) X(gtkGtk, gtk_label_set_markup) \
    X(gtkGtk, gtk_label_set_line_wrap) X(gtkGtk, gtk_label_set_mnemonic_widget)                     \
    X(gtkGtk, gtk_button_new_with_mnemonic) X(gtkGtk, gtk_button_new_from_icon_name)                \
    X(gtkGtk, gtk_check_button_new_with_mnemonic) X(gtkGtk, gtk_toggle_button_get_active)           \
    X(gtkGtk, gtk_toggle_button_set_active) X(gtkGtk, gtk_entry_new) X(gtkGtk, gtk_entry_get_text)  \
    X(gtkGtk, gtk_entry_set_text) X(gtkGtk, gtk_entry_set_width_chars)                              \
    X(gtkGtk, gtk_entry_set_activates_default) X(gtkGtk, gtk_editable_select_region)

GC_DYNLOAD_TABLE(TGtkFunctions, "GTK", GC_GTK_FUNCTIONS);

// One loading of the libraries (tests load their own).
using TGtkLibrary = TDynamicTable<TGtkFunctions>;

// The names of GTK 3 and of the GLib 2 it is built on ("libgtk-3.so.0", ...), indexed by
// TGtkPart.
std::vector<std::string> GtkSonames();

// The process's GTK, loaded once by whichever thread asks first and kept to the end (GTK
// cannot be unloaded); null when it cannot load, with the reason in error (the same
// reason every time).
const TGtkFunctions* Gtk(std::string& error);
