#pragma once
// The Slideshow preference page: the smallest images shown and whether large ones shrink.
#include <QFrame>

class QCheckBox;
class QLabel;
class QLineEdit;

class TPreferencesSlideshowFrame : public QFrame {
    Q_OBJECT
public:
    explicit TPreferencesSlideshowFrame(QWidget* parent = nullptr);

    void LoadSlideshowPreferences();
    void UpdateLanguageLabels();

    QLineEdit* MinWidth() const { return minWidth_; }
    QLineEdit* MinHeight() const { return minHeight_; }
    QCheckBox* ShrinkLarge() const { return shrinkLarge_; }

private:
    bool loading_ = false;
    QLabel* minWidthLabel_;
    QLineEdit* minWidth_;
    QLabel* minHeightLabel_;
    QLineEdit* minHeight_;
    QCheckBox* shrinkLarge_;
};
