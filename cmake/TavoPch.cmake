# Precompiled Qt headers for the Qt-heavy targets (TAVO_PCH): the widget headers
# nearly every panel, window and GUI test includes.
set(TAVO_QT_PCH_HEADERS
    <QApplication> <QCheckBox> <QComboBox> <QGridLayout> <QGroupBox> <QHBoxLayout>
    <QLabel> <QLineEdit> <QPushButton> <QString> <QTabWidget> <QTimer> <QVBoxLayout>
    <QWidget> <functional> <memory> <optional> <string> <vector>)

function(tavo_qt_pch target)
    if(TAVO_PCH)
        target_precompile_headers(${target} PRIVATE ${TAVO_QT_PCH_HEADERS})
    endif()
endfunction()
