#pragma once

class QApplication;

// The program's name and version, for --version and the boxes shown without a title.
void setApplicationNames();

// Names, style, fonts and Qt's own Chinese texts: everything the program sets once at start.
void configureApplication(QApplication &app);
