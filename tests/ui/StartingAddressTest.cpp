#include "tests/ui/UITestEnvironment.h"
#include "ui/MessageBoxes.h"
#include "ui/StartingAddress.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

// Answers every box with the given answer and remembers the captions asked.
class TBoxAnswers {
public:
    explicit TBoxAnswers(bool answer)
    {
        old_ = SetMessageBoxHandler([this, answer](const TBoxRequest& r) {
            captions.push_back(r.caption.toStdString());
            return answer;
        });
    }
    ~TBoxAnswers() { SetMessageBoxHandler(old_); }
    std::vector<std::string> captions;

private:
    TBoxHandler old_;
};

TEST(EnsureFolderExists, AsksBeforeCreatingAndRespectsNo)
{
    std::string folder = TestHomeFolder() + "/sites/a/b";
    {
        TBoxAnswers no(false);
        EXPECT_FALSE(TryToEnsureFolderExists(nullptr, folder));
        EXPECT_EQ(no.captions, std::vector<std::string>{"Folder Does Not Exist"});
        EXPECT_FALSE(QFileInfo(QString::fromStdString(folder)).exists());
    }
    {
        TBoxAnswers yes(true);
        EXPECT_TRUE(TryToEnsureFolderExists(nullptr, folder));
        EXPECT_TRUE(QFileInfo(QString::fromStdString(folder)).isDir());
        // Existing now: no question.
        EXPECT_TRUE(TryToEnsureFolderExists(nullptr, folder));
        EXPECT_EQ(yes.captions.size(), 1u);
        EXPECT_FALSE(TryToEnsureFolderExists(nullptr, ""));
        EXPECT_EQ(yes.captions.size(), 1u);
    }
}

TEST(EnsureFolderExists, CreationFailureIsReported)
{
    // A plain file where a parent folder should be.
    std::string blocker = TestHomeFolder() + "/blocker";
    ASSERT_TRUE(QFile(QString::fromStdString(blocker)).open(QIODevice::WriteOnly));
    TBoxAnswers yes(true);
    EXPECT_FALSE(TryToEnsureFolderExists(nullptr, blocker + "/sub"));
    EXPECT_EQ(yes.captions, (std::vector<std::string>{"Folder Does Not Exist", "Error"}));
}

TEST(DocumentsFolder, LiesInTheHomeFolder)
{
    std::string docs = GetMyDocumentsFolder();
    EXPECT_EQ(docs.rfind(TestHomeFolder(), 0), 0u) << docs;
}

}  // namespace
