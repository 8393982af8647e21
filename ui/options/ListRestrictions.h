#pragma once
// The three job option pages that restrict downloads by a comma list: address texts, file
// extensions and MIME types. Each has the choices all / only these / not these and an edit for
// each list; the extension and MIME pages open the category picker beside each edit.
#include "ui/options/JobOptionPage.h"

#include <string>

class QLineEdit;
class QRadioButton;
class QToolButton;
class TFileTypesListBuilderForm;

class TListRestrictionsFrame : public TJobOptionPage {
    Q_OBJECT
public:
    void LoadFromCopyJob() override;
    void SaveToCopyJob() override;
    void UpdateLanguageLabels() override;

    QRadioButton* AllRadio() const { return allRadio_; }
    QRadioButton* OnlyRadio() const { return onlyRadio_; }
    QRadioButton* NotRadio() const { return notRadio_; }
    QLineEdit* OnlyEdit() const { return onlyEdit_; }
    QLineEdit* NotEdit() const { return notEdit_; }
    // The "..." buttons; null on a page without the category picker.
    QToolButton* OnlyBuildButton() const { return onlyBuildButton_; }
    QToolButton* NotBuildButton() const { return notBuildButton_; }
    TFileTypesListBuilderForm* ListBuilder() const { return listBuilder_; }

protected:
    // builderKind: 0 none, else the picker's list kind. firstCaptionId: the "all" caption; "only"
    // and "not" follow it.
    TListRestrictionsFrame(TCopyJob& job, int builderKind, int firstCaptionId, QWidget* parent);

    virtual std::string& List() = 0;
    virtual int32_t& Purpose() = 0;
    // The list as the edit shows it on load, and as it is stored on save.
    virtual std::string ShownText(const std::string& list) const = 0;
    virtual std::string StoredText(const QString& text) const = 0;
    // What "all" does to the list, and what is stored when no choice is checked.
    virtual bool ClearListWhenAll() const = 0;
    virtual bool StorePurposeWhenNoneChecked() const = 0;
    virtual bool ReloadAfterSave() const = 0;

private:
    void BuildButtonClick(QRadioButton* radio, QLineEdit* edit);

    int builderKind_;
    int firstCaptionId_;
    QRadioButton* allRadio_;
    QRadioButton* onlyRadio_;
    QRadioButton* notRadio_;
    QLineEdit* onlyEdit_;
    QLineEdit* notEdit_;
    QToolButton* onlyBuildButton_ = nullptr;
    QToolButton* notBuildButton_ = nullptr;
    TFileTypesListBuilderForm* listBuilder_ = nullptr;
};

class TAddressRestrictionsFrame : public TListRestrictionsFrame {
    Q_OBJECT
public:
    explicit TAddressRestrictionsFrame(TCopyJob& job, QWidget* parent = nullptr);

protected:
    std::string& List() override;
    int32_t& Purpose() override;
    std::string ShownText(const std::string& list) const override;
    std::string StoredText(const QString& text) const override;
    bool ClearListWhenAll() const override { return false; }
    bool StorePurposeWhenNoneChecked() const override { return false; }
    bool ReloadAfterSave() const override { return true; }
};

class TFileExtensionsFrame : public TListRestrictionsFrame {
    Q_OBJECT
public:
    explicit TFileExtensionsFrame(TCopyJob& job, QWidget* parent = nullptr);

protected:
    std::string& List() override;
    int32_t& Purpose() override;
    std::string ShownText(const std::string& list) const override;
    std::string StoredText(const QString& text) const override;
    bool ClearListWhenAll() const override { return true; }
    bool StorePurposeWhenNoneChecked() const override { return true; }
    bool ReloadAfterSave() const override { return false; }
};

class TMimeTypesFrame : public TListRestrictionsFrame {
    Q_OBJECT
public:
    explicit TMimeTypesFrame(TCopyJob& job, QWidget* parent = nullptr);

protected:
    std::string& List() override;
    int32_t& Purpose() override;
    std::string ShownText(const std::string& list) const override;
    std::string StoredText(const QString& text) const override;
    bool ClearListWhenAll() const override { return true; }
    bool StorePurposeWhenNoneChecked() const override { return true; }
    bool ReloadAfterSave() const override { return false; }
};
