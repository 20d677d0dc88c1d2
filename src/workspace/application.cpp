#include "application.h"

#include <clocale>

namespace tavo {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) { KeepNumbersInCForm(); }

void KeepNumbersInCForm() { std::setlocale(LC_NUMERIC, "C"); }

} // namespace tavo
