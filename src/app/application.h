#pragma once

#include <memory>

class QApplication;
class QProcessEnvironment;
class QTranslator;

// The program's name and version, for --version and the boxes shown without a title.
void setApplicationNames();

// Whether the desktop asks for English: the first of LANGUAGE's entries, LC_ALL, LC_MESSAGES
// and LANG that is set decides. Everything else, the C and POSIX locales and an environment
// that names none included, gets the Chinese window.
bool prefersEnglish(const QProcessEnvironment &environment);

// The window's English texts, built into the program; null if they cannot be read.
std::unique_ptr<QTranslator> englishTranslator();

// Names, style, fonts, and the window's and Qt's own texts in the language `environment`
// asks for: everything the program sets once at start.
void configureApplication(QApplication &app, const QProcessEnvironment &environment);
