#pragma once
// The models behind the completed-files list and the site map. Both are built for jobs of
// hundreds of thousands of files: a row is found by its location through a hash, a tree node
// finds its children through a hash of its own, and nothing is rebuilt as rows are added.
#include <QAbstractItemModel>
#include <QCollatorSortKey>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// A text that a tool tip shows exactly as written, whatever markup it holds.
QString PlainToolTip(const QString& text);

// Columns of the completed-files list, in the order the list and the saved report show them.
enum TCompletedColumn : int { ccResult, ccLocation, ccColumnCount };

struct TCompletedRow {
    QString Caption;   // result text
    int32_t Image = 0;
    QString Location;
    int32_t Key = 0;   // the row's index when it was added; stays with the row when sorted

    // The text the row shows in column; empty for a column the list does not have.
    const QString& Text(int column) const;
};

class TCompletedFilesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TCompletedFilesModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void SetColumnCaptions(const QString& result, const QString& location);
    // The caption of column; empty for a column the list does not have.
    QString ColumnCaption(int column) const;
    void SetImages(QList<QIcon> images) { images_ = std::move(images); }

    void Clear();
    // Adds a row; its key is its index. Gives the row index.
    int32_t AddRow(const QString& caption, int32_t image, const QString& location);
    // Index of the first row whose location is exactly location, else -1.
    int32_t FindRow(const QString& location) const;
    // Index of the row with this key, else -1.
    int32_t RowOfKey(int32_t key) const;
    const TCompletedRow& Row(int32_t row) const { return rows_[static_cast<size_t>(row)]; }
    int32_t Count() const { return static_cast<int32_t>(rows_.size()); }
    void SetResult(int32_t row, const QString& caption, int32_t image);
    // Every row whose location equals oldPath without regard to case gets newPath.
    void RenameLocation(const QString& oldPath, const QString& newPath);
    // By the texts of column; case-sensitive in the user's locale.
    void SortRows(int column, bool ascending);

private:
    void IndexRow(const TCompletedRow& row);
    void UnindexLocation(const QString& location, int32_t key);

    std::vector<TCompletedRow> rows_;
    std::vector<int32_t> rowOfKey_;
    QHash<QString, int32_t> byLocation_;          // first key of each exact location
    QHash<QString, QList<int32_t>> byFoldedLocation_;
    QString captions_[ccColumnCount];
    QList<QIcon> images_;
};

// One node of the site map.
struct TSiteMapNode {
    QString Name;      // the part of the address; what the node is matched on
    QString Title;     // page title, shown after the name
    int32_t Image = 0;
    int32_t Data = -1; // completed-row key of a file, -1 for root, host and folder nodes
    TSiteMapNode* Parent = nullptr;
    std::vector<std::unique_ptr<TSiteMapNode>> Children;  // sorted by name, without regard to case
    QHash<QString, TSiteMapNode*> ChildByName;           // case-folded name
    QString Folded;
    std::optional<QCollatorSortKey> SortKey;

    QString Text() const { return Title.isEmpty() ? Name : Name + " (" + Title + ")"; }
};

class TSiteMapModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit TSiteMapModel(QObject* parent = nullptr);
    ~TSiteMapModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void SetImages(QList<QIcon> images) { images_ = std::move(images); }
    void Clear();
    bool IsEmpty() const { return !root_; }
    // The first node, or nullptr.
    const TSiteMapNode* Root() const { return root_.get(); }

    // Files an address, split into parts, under the root named jobName (made when missing).
    // The last part's node gets the row's image and key; the others become host or folder nodes.
    void AddAddress(const std::vector<std::string>& parts, const QString& jobName, int32_t image, int32_t key);
    // Gives the node of the address's last part a title; nothing when a part has no node or the
    // last part is empty.
    bool SetTitle(const std::vector<std::string>& parts, const QString& title);
    // The node of parts, or nullptr.
    const TSiteMapNode* FindNode(const std::vector<std::string>& parts) const;

    const TSiteMapNode* NodeAt(const QModelIndex& index) const;
    QModelIndex IndexOf(const TSiteMapNode* node) const;

private:
    TSiteMapNode* FindChild(const TSiteMapNode* parent, const QString& name) const;
    TSiteMapNode* AddChild(TSiteMapNode* parent, const QString& name);
    int RowOf(const TSiteMapNode* node) const;
    void NodeChanged(TSiteMapNode* node);

    std::unique_ptr<TSiteMapNode> root_;
    QList<QIcon> images_;
};
