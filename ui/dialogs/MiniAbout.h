#pragma once
// The program-information panel of the splash and the About box: name, version, copyright and
// the logo, which answers double-clicks with spoken counting.
#include <QFrame>
#include <QString>

#include <cstdint>
#include <functional>

class QLabel;

// What the logo says to a double-click at a given time.
class TLogoReactions {
public:
    struct TReaction {
        QString text;  // empty: nothing is said
        bool wait = false;
    };
    // random(n) gives 0 .. n-1.
    using TRandom = std::function<int(int)>;

    explicit TLogoReactions(TRandom random);
    TReaction DoubleClick(int64_t nowMs);
    int Count() const { return count_; }

private:
    TRandom random_;
    int count_ = 0;
    int64_t lastReaction_ = 0;
    int64_t lastDoubleClick_ = 0;
};

class TMiniAboutFrame : public QFrame {
    Q_OBJECT
public:
    explicit TMiniAboutFrame(QWidget* parent = nullptr);

    void UpdateLanguageLabels();

    QLabel* ProgramName() const { return programName_; }
    QLabel* VersionDescription() const { return versionDescription_; }
    QLabel* CopyrightDescription() const { return copyrightDescription_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void GYImageDblClick();

    TLogoReactions reactions_;
    QLabel* gyImage_;
    QLabel* programName_;
    QLabel* versionDescription_;
    QLabel* copyrightDescription_;
};
