// The screen saver's German texts, as Windows-1252 bytes (the program keeps its text in
// that code page; the dialog layer converts it for GTK). "&" marks a mnemonic.
#pragma once

namespace ScreenSaverStrings {

// Start-up and the configure mode.
inline constexpr const char* NotInstalled = "Der Bildschirmschoner wurde nicht korrekt installiert.";
inline constexpr const char* CannotSave = "Die Einstellungen konnten nicht gespeichert werden.";

// The runs. Both texts take one path (%s).
inline constexpr const char* ShowMissing = "Die Lumivor \"%s\" ist nicht vorhanden.";
inline constexpr const char* SoundLibraryMissing =
    "Die Datei \"%s\" ist nicht vorhanden. Hintergrundmusik und Soundobjekte k\xF6nnen nicht abgespielt "
    "werden. Bitte \xFC" "berpr\xFC" "fen Sie, ob Velmorra Glowcanvas korrekt installiert ist!";
// Where a package keeps its show ("Lumivor\Slideshow.kls") and its sound library.
inline constexpr const char* ShowFolder = "Lumivor\\";
inline constexpr const char* ShowBaseName = "Slideshow";
inline constexpr const char* ShowExtension = "kls";
inline constexpr const char* SoundLibraryName = "fmod.dll";

// The settings dialog.
inline constexpr const char* GroupCaption = "Einstellungen";
inline constexpr const char* UseSound = "&Sound verwenden";
inline constexpr const char* ResumeAtLastPos = "&Bildschirmschoner an der letzten Position fortsetzen";
inline constexpr const char* Shuffle = "Bilder in zuf\xE4lliger Reihenfolge wiedergeben";
inline constexpr const char* DurationLabel = "&Standardverweildauer:";
inline constexpr const char* DurationUnit = "s";
inline constexpr const char* OkButton = "&Ok";
inline constexpr const char* CancelButton = "&Abbrechen";
inline constexpr const char* CreatedWith = "Erstellt mit";
inline constexpr const char* InvalidDuration =
    "Bitte geben Sie einen g\xFCltigen Wert f\xFCr die Standard-Verweildauer an.";
inline constexpr const char* DurationOutOfRange =
    "Die Standard-Verweildauer muss zwischen 0 s und 3600 s liegen.";

// Identity.
inline constexpr const char* Company = "Velmorra";
inline constexpr const char* Product = "Glowcanvas";
inline constexpr const char* RightsNotice = "\xA9 2026 Velmorra";
inline constexpr const char* WebAddress = "www.velmorra.example";
inline constexpr const char* HelpFile = "Glowcanvas.chm";

}  // namespace ScreenSaverStrings
