# Qt's widget headers dominate the compile time of every file that builds a form;
# precompiling them once per target halves the build of the Qt layers.
function(tavo_qt_precompile target)
    target_precompile_headers(${target} PRIVATE
        <QApplication> <QCheckBox> <QComboBox> <QDialog> <QFile> <QGridLayout>
        <QGroupBox> <QHBoxLayout> <QLabel> <QLineEdit> <QPushButton> <QString>
        <QTabWidget> <QTimer> <QVBoxLayout> <QWidget> <string> <vector> <memory>)
endfunction()
