#pragma once
// A page whose contents are not built yet: it shows its caption.
#include <QFrame>

class QLabel;

class TEmptyPageFrame : public QFrame {
    Q_OBJECT
public:
    TEmptyPageFrame(int captionStringId, QWidget* parent = nullptr);
    void UpdateLanguageLabels();

private:
    int captionStringId_;
    QLabel* caption_;
};
