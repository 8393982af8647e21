#include "tests/ui/UITestEnvironment.h"

#include "engine/job/JobTypes.h"
#include "ui/dialogs/FileTypesListBuilder.h"
#include "ui/options/ListRestrictions.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <functional>

namespace {

class FileTypesListBuilderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = TestHomeFolder() + "/categories-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name() + "/";
        ASSERT_TRUE(QDir().mkpath(QString::fromStdString(folder_)));
        form_.SetCategoryFilesFolder(folder_);
    }

    void WriteCategories(const char* name, const QString& text)
    {
        QFile file(QString::fromStdString(folder_ + name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text.toUtf8());
    }

    // Shows the picker on edit, lets act change it, and closes it with OK or Cancel.
    int Pick(int kind, QLineEdit* edit, std::function<void()> act, bool ok)
    {
        QTimer::singleShot(0, &form_, [this, act = std::move(act), ok] {
            act();
            if (ok)
                form_.accept();
            else
                form_.reject();
        });
        return form_.BuildList(kind, edit);
    }

    void Tick(int row, bool on)
    {
        form_.CategoriesListView()->topLevelItem(row)->setCheckState(0, on ? Qt::Checked : Qt::Unchecked);
    }

    QString Name(int row) const { return form_.CategoriesListView()->topLevelItem(row)->text(0); }
    bool Ticked(int row) const
    {
        return form_.CategoriesListView()->topLevelItem(row)->checkState(0) == Qt::Checked;
    }

    std::string folder_;
    TFileTypesListBuilderForm form_;
};

TEST_F(FileTypesListBuilderTest, BuiltInCategoriesTickAndUntickTheirTypes)
{
    QLineEdit edit(".GIF, .txt");
    int result = Pick(TFileTypesListBuilderForm::kFileExtensions, &edit, [this] {
        ASSERT_EQ(form_.CategoryCount(), 7);
        EXPECT_EQ(Name(0), "Images");
        EXPECT_EQ(Name(6), "Web Pages");
        EXPECT_TRUE(Ticked(0));
        EXPECT_TRUE(Ticked(5));
        EXPECT_FALSE(Ticked(1));
        EXPECT_EQ(form_.windowTitle(), "File Extensions List Builder");
        Tick(0, false);  // removes Images' types, even typed ones; the rest stays, lower-cased
        EXPECT_EQ(form_.TypesListEdit()->text(), ".txt");
        Tick(4, true);
        EXPECT_EQ(form_.TypesListEdit()->text(), ".txt, .zip, .rar, .iso");
    }, true);
    EXPECT_EQ(result, TFileTypesListBuilderForm::kOK);
    EXPECT_EQ(edit.text(), ".txt, .zip, .rar, .iso");

    QLineEdit empty;
    Pick(TFileTypesListBuilderForm::kFileExtensions, &empty, [this] {
        Tick(0, true);
        EXPECT_EQ(form_.TypesListEdit()->text(), ".jpg, .jpeg, .gif, .png, .bmp");
        Tick(0, false);
        EXPECT_EQ(form_.TypesListEdit()->text(), "");
        Tick(2, true);
    }, false);
    EXPECT_EQ(empty.text(), "");  // Cancel leaves the caller's edit alone

    QLineEdit mime("text/html*");
    Pick(TFileTypesListBuilderForm::kMimeTypes, &mime, [this] {
        EXPECT_TRUE(Ticked(6));
        EXPECT_EQ(form_.windowTitle(), "MIME Types List Builder");
        EXPECT_EQ(form_.CategoriesListView()->headerItem()->text(1), "MIME Types");
    }, false);
}

TEST_F(FileTypesListBuilderTest, CategoryFileLinesAndTheirLimits)
{
    QString text = "Fonts (.TTF .otf) trailing words\n"
                   "\n"
                   "Broken .ttf, .otf\n"
                   "Reversed ) (.x\n"
                   "Bare (ttf)\n";
    for (int i = 0; i < 40; ++i)
        text += QString("Cat%1 (.e%1)\n").arg(i);
    WriteCategories("FileExtensions.txt", text);
    QLineEdit edit(".otf");
    Pick(TFileTypesListBuilderForm::kFileExtensions, &edit, [this] {
        ASSERT_EQ(form_.CategoryCount(), 32);
        EXPECT_EQ(Name(0), "Fonts");
        EXPECT_EQ(form_.CategoriesListView()->topLevelItem(0)->text(1), ".TTF .otf");
        EXPECT_TRUE(Ticked(0));
        EXPECT_EQ(Name(1), "?");
        EXPECT_EQ(Name(2), "?");
        EXPECT_EQ(Name(3), "?");
        EXPECT_EQ(Name(4), "Bare");
        EXPECT_EQ(Name(31), "Cat26");
        Tick(2, true);  // a bad line adds nothing
        EXPECT_EQ(form_.TypesListEdit()->text(), ".otf");
        Tick(0, false);
        Tick(0, true);
        EXPECT_EQ(form_.TypesListEdit()->text(), ".ttf, .otf");
        EXPECT_FALSE(form_.CategoriesListView()->topLevelItem(4)->icon(0).isNull());
    }, true);
    EXPECT_EQ(edit.text(), ".ttf, .otf");
}

TEST(FileTypePages, BuildButtonChoosesItsRowAndFillsItsEdit)
{
    TCopyJob job;
    job.Clear();
    TFileExtensionsFrame page(job);
    ASSERT_TRUE(page.AllRadio()->isChecked());
    TFileTypesListBuilderForm* picker = page.ListBuilder();
    picker->SetCategoryFilesFolder(TestHomeFolder() + "/no-categories/");
    QTimer::singleShot(0, picker, [picker] {
        picker->CategoriesListView()->topLevelItem(4)->setCheckState(0, Qt::Checked);
        picker->accept();
    });
    page.NotBuildButton()->click();
    EXPECT_TRUE(page.NotRadio()->isChecked());
    EXPECT_EQ(page.NotEdit()->text(), ".zip, .rar, .iso");
    page.SaveToCopyJob();
    EXPECT_EQ(job.ExtensionsPurpose, lpNotThese);
    EXPECT_EQ(job.Extensions, ".zip, .rar, .iso");
}

}  // namespace
