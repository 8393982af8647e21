#pragma once
// The application object: an exception that reaches the event loop is logged and the main
// window closes, so the program shuts down in order.
#include <QApplication>

class TGleaneryApplication : public QApplication {
    Q_OBJECT
public:
    TGleaneryApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
