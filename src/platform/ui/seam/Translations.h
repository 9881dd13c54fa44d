#pragma once

class QCoreApplication;

// Qt's own texts (the standard buttons "Sí" and "Cancelar", the file dialog's "Ver en" and
// "Nombre de fichero") in Spanish, from Debian's qt6-translations-l10n. Every program with
// windows calls it once, right after creating its application. Answers false when the catalogue
// is not installed; the dialogs then stay in English and nothing else changes.
bool InstallSpanishTranslations(QCoreApplication& app);
