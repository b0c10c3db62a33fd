#include "ui/texts.h"

#include <cstddef>

namespace {

constexpr TextRow englishTexts{
    "show console",
    "use luadebugger",
    "clip cursor",
    "don't use documents folder",
    "Main Game",
    "Velmarch",
    "Fetch",
    "fetches most current data",
    "You don't have to most current files! Please Update!",
    "You have the most current files. No Update necessary.",
    "Diff",
    "checks for different files",
    "Update",
    "updates all different files",
    "Updater not up to date. Please update the updater manually.",
    "Starts the main game.",
    "Starts the expansion 'velmarch'.",
    "An error occured during fetch!",
    "An error occured during diff!",
    "An error occured during update!",
    "An error occured!",
    "Redirects access to 'My Documents' to the folder\r\n'QuarnServer/__QuarnData/' (relative to the "
    "updater). \r\nIf checked maps and settings have\r\n to be adjusted there instead.",
    "Clips the cursor in the game.\r\nUseful if multiple monitors are used.",
    "Opens a console when the\r\ngame is started which can\r\ndisplay some debug informaton.",
    "If active the game is\r\nstarted with the LuaDebugger",
    "The selected language is not available in your game installation.",
    "Updater not up to date. Click here to update it.",
    "A new version of the updater is available.\r\nReplace this updater with it and restart it now?",
    "Updating the updater...",
    "The updater could not be updated!",
};

constexpr TextRow germanTexts{
    "Konsole oeffnen",
    "Lua Debugger oeffnen",
    "Mauszeiger einfangen",
    "'Dokumente' nicht verw.",
    "Hauptspiel",
    "Velmarsch",
    "Abrufen",
    "Ruft die aktuellen Daten vom Server ab",
    "Dateien unterschiedlich! Bitte updaten.",
    "Dateien sind up to date. Kein Update notwendig.",
    "Zeige Aenderungen",
    "Prueft die lokalen Dateien auf Unterschiede zu\r\nden vom Server abgerufenen Dateien",
    "Aktualisieren",
    "Aktualisiert die Dateien",
    "Updater veraltet. Bitte Updater manuell updaten.",
    "Startet das Hauptspiel.",
    "Startet die Erweiterung 'Velmarsch'",
    "Es ist ein Fehler beim Abrufen aufgetreten!",
    "Das Ueberpruefen der Aenderungen ist fehlgeschlagen!",
    "Beim aktualisieren ist ein Fehler aufgetreten!",
    "Ein allgemeiner Fehler ist aufgetreten!",
    "Wenn aktiv, wird statt dem Ordner\r\n'Dokumente' der Ordner 'QuarnServer/__QuarnData/'\r\n(relativ "
    "zum Updater) verwendet.\r\nEinstellungen und Usermaps muessen\r\ndann dort getaetigt bzw. "
    "platziert werden.",
    "Wenn aktiv, sorgt es dafuer dass der\r\nMauszeiger beim Spielen im Fenster\r\nbleibt. "
    "Nuetzlich, wenn mehrere\r\nMonitore verwendet werden.",
    "Wenn aktiv, wird beim\r\nSpielstart eine Konsole\r\ngeoeffnet welche Debug- \r\nInformationen "
    "anzeigen kann.",
    "Wenn aktiv wird das Spiel\r\nmit LuaDebugger gestartet.",
    "Die gewaehlte Sprache steht bei deiner Installation nicht zur Verfuegung!",
    "Updater veraltet. Hier klicken zum Updaten.",
    "Eine neue Version des Updaters ist verfuegbar.\r\nDiesen Updater jetzt ersetzen und neu starten?",
    "Updater wird aktualisiert...",
    "Der Updater konnte nicht aktualisiert werden!",
};

constexpr std::size_t germanRow = 2;

// Built at compile time, so the table is complete before any code of the program runs.
constexpr TextTable filledTextTable() {
  TextTable table{};
  for (auto& row : table) row = englishTexts;
  table[germanRow] = germanTexts;
  return table;
}

}  // namespace

constinit const TextTable textTable = filledTextTable();

const char* uiText(TextId id) {
  // The index is kept in range by its writers; a stray value still must not read past the table.
  const bool validRow = game::UiLanguageIndex >= 0 && game::UiLanguageIndex < game::languageCount;
  const std::size_t row = validRow ? static_cast<std::size_t>(game::UiLanguageIndex) : germanRow;
  return textTable[row][static_cast<std::size_t>(id)];
}
