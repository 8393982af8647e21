#pragma once
// The splash window shown while the program starts: the program-information panel, borderless,
// centred on the screen. It closes itself after a moment, or at a click or key.
#include <QDialog>

class TMiniAboutFrame;

class TSplashForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int kShowMs = 1500;

    explicit TSplashForm(QWidget* parent = nullptr);

    // Shows the splash modally until it closes; showMs of 0 or less closes it at once.
    void ShowModal(int showMs = kShowMs);

    TMiniAboutFrame* MiniAbout() const { return miniAbout_; }

protected:
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    TMiniAboutFrame* miniAbout_;
};
