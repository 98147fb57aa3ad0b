#pragma once

// Installs the translations for the system's language: Qt's own strings (dialog buttons,
// the command-line parser's "Usage:"), then ours, which every program carries under
// ":/i18n". Without a catalogue for the language the English text shows. The translators
// belong to the application object.
void installTranslations();
