#pragma once
// The category picker behind the file extension and MIME type pages: a dialog of named
// categories, each a list of types; ticking one adds its types to the edited list, unticking
// removes them. Categories come from "FileExtensions.txt" / "MimeTypes.txt" in the category
// folder, one "Name (type, type ...)" per line, or from built-in ones when the file is missing.
#include <QDialog>

#include <array>
#include <string>
#include <vector>

class QLineEdit;
class QPushButton;
class QTreeWidget;

class TFileTypesListBuilderForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int kFileExtensions = 1;
    static constexpr int kMimeTypes = 2;
    static constexpr int kMaxCategories = 32;
    static constexpr int kOK = 1;
    static constexpr int kCancel = 2;

    // The category files are looked for in the program folder until told otherwise.
    explicit TFileTypesListBuilderForm(QWidget* parent = nullptr);

    // Where the category files lie; reloads the extension categories and their icons.
    void SetCategoryFilesFolder(const std::string& folder);
    // Ticks the categories found in edit's text and, given an edit, lets the user change it:
    // OK copies the list back into edit. kOK or kCancel (always kCancel without an edit).
    int BuildList(int kind, QLineEdit* edit);
    void UpdateLanguageLabels();

    QTreeWidget* CategoriesListView() const { return categoriesListView_; }
    QLineEdit* TypesListEdit() const { return typesListEdit_; }
    int CategoryCount() const { return categoryCount_; }

private:
    void PopulateCategoriesList();
    void CheckCategoriesFromEditBox();
    bool IsCategoryInEditBox(int i) const;
    std::vector<std::string> GetEditBoxTypes() const;
    void SetEditBoxTypes(const std::vector<std::string>& types);
    void ApplyCategoryChecks();
    void AddAllCategoryTypesToEditBox(int i);
    void RemoveAllCategoryTypesFromEditBox(int i);
    void LoadCategoryImages();

    std::string folder_;
    int kind_ = kFileExtensions;
    int categoryCount_ = 0;
    std::array<std::vector<std::string>, kMaxCategories> typeLists_;
    std::array<bool, kMaxCategories> checkMarks_{};
    std::vector<QIcon> categoryImages_;
    bool populating_ = false;

    QTreeWidget* categoriesListView_;
    QLineEdit* typesListEdit_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
};
