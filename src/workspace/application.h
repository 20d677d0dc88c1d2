// The application object of every program with windows: the utility, its window
// tests and its benchmarks.
#pragma once

#include <QApplication>

namespace tavo {

// Qt sets the whole process locale from the environment when its application
// object starts. Numbers on the wire, in settings files and on screen are written
// with snprintf and read with strtod, which would then follow the desktop's
// language: on a German or French desktop a panel would send "4,500" to a module
// and read ">+4.500" as 4. So numbers keep the C form ('.' as the decimal point,
// no grouping) whatever the language; everything else follows the desktop.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
};

// Puts the numeric part of the process locale back to C; for code that makes a
// QCoreApplication of its own.
void KeepNumbersInCForm();

} // namespace tavo
