#pragma once

class QApplication;

// Names, style, fonts and Qt's own Chinese texts: everything the program sets once at start.
void configureApplication(QApplication &app);
