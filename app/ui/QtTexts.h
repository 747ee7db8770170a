#pragma once

class QCoreApplication;

// Qt's own texts (the buttons of its file and message dialogs, the menus of text fields) in
// Chinese, like every other text of the program. The catalogue comes with the desktop's Qt.
namespace QtTexts {

// Loads the catalogue into application, which keeps it; false where the desktop has none, and
// Qt's texts stay in English.
bool installChinese(QCoreApplication& application);

} // namespace QtTexts
