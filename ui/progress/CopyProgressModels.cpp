#include "ui/progress/CopyProgressModels.h"

#include <QCollator>

#include <algorithm>
#include <numeric>

namespace {

QCollator& TreeCollator()
{
    static QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

// Children order: collation key without regard to case, then the folded name, so no two
// children compare equal.
bool NodeLess(const TSiteMapNode& a, const TSiteMapNode& b)
{
    int c = a.SortKey->compare(*b.SortKey);
    if (c != 0)
        return c < 0;
    return a.Folded < b.Folded;
}

}  // namespace

QString PlainToolTip(const QString& text)
{
    // A tool tip that looks like markup is shown as rich text: escaped, it shows as written,
    // on one line as the list does.
    if (text.isEmpty())
        return text;
    return "<p style='white-space:pre'>" + text.toHtmlEscaped() + "</p>";
}

// ---- completed files ----

const QString& TCompletedRow::Text(int column) const
{
    static const QString kNone;
    switch (column) {
    case ccResult:
        return Caption;
    case ccLocation:
        return Location;
    default:
        return kNone;
    }
}

TCompletedFilesModel::TCompletedFilesModel(QObject* parent) : QAbstractTableModel(parent)
{
    captions_[ccResult] = "Result";
    captions_[ccLocation] = "Location";
}

int TCompletedFilesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count();
}

int TCompletedFilesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ccColumnCount;
}

QVariant TCompletedFilesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= Count())
        return {};
    const TCompletedRow& row = rows_[static_cast<size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return row.Text(index.column());
    if (role == Qt::ToolTipRole)
        return PlainToolTip(row.Text(index.column()));
    if (role == Qt::DecorationRole && index.column() == ccResult && row.Image >= 0 && row.Image < images_.size())
        return images_[row.Image];
    if (role == Qt::UserRole)
        return row.Key;
    return {};
}

QVariant TCompletedFilesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ccColumnCount)
        return captions_[section];
    return {};
}

void TCompletedFilesModel::SetColumnCaptions(const QString& result, const QString& location)
{
    captions_[ccResult] = result;
    captions_[ccLocation] = location;
    emit headerDataChanged(Qt::Horizontal, 0, ccColumnCount - 1);
}

QString TCompletedFilesModel::ColumnCaption(int column) const
{
    return column >= 0 && column < ccColumnCount ? captions_[column] : QString();
}

void TCompletedFilesModel::Clear()
{
    beginResetModel();
    rows_.clear();
    rowOfKey_.clear();
    byLocation_.clear();
    byFoldedLocation_.clear();
    endResetModel();
}

void TCompletedFilesModel::IndexRow(const TCompletedRow& row)
{
    auto it = byLocation_.find(row.Location);
    if (it == byLocation_.end() || RowOfKey(row.Key) < RowOfKey(it.value()))
        byLocation_.insert(row.Location, row.Key);
    byFoldedLocation_[row.Location.toCaseFolded()].append(row.Key);
}

int32_t TCompletedFilesModel::AddRow(const QString& caption, int32_t image, const QString& location)
{
    auto index = Count();
    beginInsertRows({}, index, index);
    rows_.push_back({caption, image, location, index});
    rowOfKey_.push_back(index);
    IndexRow(rows_.back());
    endInsertRows();
    return index;
}

int32_t TCompletedFilesModel::FindRow(const QString& location) const
{
    auto it = byLocation_.constFind(location);
    return it == byLocation_.constEnd() ? -1 : RowOfKey(it.value());
}

int32_t TCompletedFilesModel::RowOfKey(int32_t key) const
{
    if (key < 0 || static_cast<size_t>(key) >= rowOfKey_.size())
        return -1;
    return rowOfKey_[static_cast<size_t>(key)];
}

void TCompletedFilesModel::SetResult(int32_t row, const QString& caption, int32_t image)
{
    if (row < 0 || row >= Count())
        return;
    rows_[static_cast<size_t>(row)].Caption = caption;
    rows_[static_cast<size_t>(row)].Image = image;
    emit dataChanged(index(row, ccResult), index(row, ccResult));
}

void TCompletedFilesModel::UnindexLocation(const QString& location, int32_t key)
{
    auto it = byLocation_.find(location);
    if (it != byLocation_.end() && it.value() == key) {
        byLocation_.erase(it);
        // Another row may hold the same location; the first of them takes the place.
        auto folded = byFoldedLocation_.constFind(location.toCaseFolded());
        int32_t best = -1;
        if (folded != byFoldedLocation_.constEnd())
            for (int32_t other : folded.value())
                if (other != key && rows_[static_cast<size_t>(RowOfKey(other))].Location == location &&
                    (best < 0 || RowOfKey(other) < RowOfKey(best)))
                    best = other;
        if (best >= 0)
            byLocation_.insert(location, best);
    }
    auto folded = byFoldedLocation_.find(location.toCaseFolded());
    if (folded != byFoldedLocation_.end()) {
        folded.value().removeOne(key);
        if (folded.value().isEmpty())
            byFoldedLocation_.erase(folded);
    }
}

void TCompletedFilesModel::RenameLocation(const QString& oldPath, const QString& newPath)
{
    auto it = byFoldedLocation_.constFind(oldPath.toCaseFolded());
    if (it == byFoldedLocation_.constEnd())
        return;
    const QList<int32_t> keys = it.value();
    for (int32_t key : keys) {
        int32_t row = RowOfKey(key);
        TCompletedRow& r = rows_[static_cast<size_t>(row)];
        UnindexLocation(r.Location, key);
        r.Location = newPath;
        IndexRow(r);
        emit dataChanged(index(row, ccLocation), index(row, ccLocation));
    }
}

void TCompletedFilesModel::SortRows(int column, bool ascending)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseSensitive);
    std::vector<QCollatorSortKey> keys;
    keys.reserve(rows_.size());
    for (const TCompletedRow& row : rows_)
        keys.push_back(collator.sortKey(row.Text(column)));
    std::vector<size_t> order(rows_.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        int c = keys[a].compare(keys[b]);
        return ascending ? c < 0 : c > 0;
    });
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QModelIndexList before = persistentIndexList();
    std::vector<int32_t> keyAtOldRow(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i)
        keyAtOldRow[i] = rows_[i].Key;
    std::vector<TCompletedRow> sorted;
    sorted.reserve(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sorted.push_back(std::move(rows_[order[i]]));
        rowOfKey_[static_cast<size_t>(sorted.back().Key)] = static_cast<int32_t>(i);
    }
    rows_ = std::move(sorted);
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before) {
        bool known = old.row() >= 0 && static_cast<size_t>(old.row()) < keyAtOldRow.size();
        after.append(known ? index(RowOfKey(keyAtOldRow[static_cast<size_t>(old.row())]), old.column()) : QModelIndex());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// ---- site map ----

TSiteMapModel::TSiteMapModel(QObject* parent) : QAbstractItemModel(parent) {}

TSiteMapModel::~TSiteMapModel()
{
    // Deep trees are taken apart level by level, not by nested destructors.
    if (!root_)
        return;
    std::vector<std::unique_ptr<TSiteMapNode>> pending;
    pending.push_back(std::move(root_));
    while (!pending.empty()) {
        std::unique_ptr<TSiteMapNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto& child : node->Children)
            pending.push_back(std::move(child));
    }
}

QModelIndex TSiteMapModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return {};
    if (!parent.isValid())
        return row == 0 && root_ ? createIndex(0, 0, root_.get()) : QModelIndex();
    const TSiteMapNode* node = NodeAt(parent);
    if (!node || static_cast<size_t>(row) >= node->Children.size())
        return {};
    return createIndex(row, 0, node->Children[static_cast<size_t>(row)].get());
}

QModelIndex TSiteMapModel::parent(const QModelIndex& child) const
{
    const TSiteMapNode* node = NodeAt(child);
    if (!node || !node->Parent)
        return {};
    return IndexOf(node->Parent);
}

int TSiteMapModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return root_ ? 1 : 0;
    const TSiteMapNode* node = NodeAt(parent);
    return node ? static_cast<int>(node->Children.size()) : 0;
}

int TSiteMapModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant TSiteMapModel::data(const QModelIndex& index, int role) const
{
    const TSiteMapNode* node = NodeAt(index);
    if (!node)
        return {};
    if (role == Qt::DisplayRole)
        return node->Text();
    if (role == Qt::DecorationRole && node->Image >= 0 && node->Image < images_.size())
        return images_[node->Image];
    if (role == Qt::UserRole)
        return node->Data;
    return {};
}

const TSiteMapNode* TSiteMapModel::NodeAt(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<const TSiteMapNode*>(index.internalPointer()) : nullptr;
}

int TSiteMapModel::RowOf(const TSiteMapNode* node) const
{
    if (!node->Parent)
        return 0;
    const auto& siblings = node->Parent->Children;
    auto it = std::lower_bound(siblings.begin(), siblings.end(), node,
                               [](const std::unique_ptr<TSiteMapNode>& a, const TSiteMapNode* b) {
                                   return NodeLess(*a, *b);
                               });
    return static_cast<int>(it - siblings.begin());
}

QModelIndex TSiteMapModel::IndexOf(const TSiteMapNode* node) const
{
    if (!node)
        return {};
    return createIndex(RowOf(node), 0, const_cast<TSiteMapNode*>(node));
}

void TSiteMapModel::Clear()
{
    beginResetModel();
    if (root_) {
        TSiteMapModel scratch;
        scratch.root_ = std::move(root_);  // its destructor takes the tree apart
    }
    endResetModel();
}

TSiteMapNode* TSiteMapModel::FindChild(const TSiteMapNode* parent, const QString& name) const
{
    return parent->ChildByName.value(name.toCaseFolded(), nullptr);
}

TSiteMapNode* TSiteMapModel::AddChild(TSiteMapNode* parent, const QString& name)
{
    auto node = std::make_unique<TSiteMapNode>();
    node->Name = name;
    node->Parent = parent;
    node->Folded = name.toCaseFolded();
    node->SortKey = TreeCollator().sortKey(name);
    auto& siblings = parent->Children;
    auto it = std::lower_bound(siblings.begin(), siblings.end(), node,
                               [](const std::unique_ptr<TSiteMapNode>& a, const std::unique_ptr<TSiteMapNode>& b) {
                                   return NodeLess(*a, *b);
                               });
    int row = static_cast<int>(it - siblings.begin());
    TSiteMapNode* raw = node.get();
    beginInsertRows(IndexOf(parent), row, row);
    siblings.insert(it, std::move(node));
    parent->ChildByName.insert(raw->Folded, raw);
    endInsertRows();
    return raw;
}

void TSiteMapModel::NodeChanged(TSiteMapNode* node)
{
    QModelIndex index = IndexOf(node);
    emit dataChanged(index, index);
}

void TSiteMapModel::AddAddress(const std::vector<std::string>& parts, const QString& jobName, int32_t image,
                               int32_t key)
{
    if (!root_) {
        beginInsertRows({}, 0, 0);
        root_ = std::make_unique<TSiteMapNode>();
        root_->Name = jobName;
        root_->Image = 9;
        root_->Data = -1;
        endInsertRows();
    }
    TSiteMapNode* parent = root_.get();
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].empty())
            continue;
        QString name = QString::fromStdString(parts[i]);
        TSiteMapNode* node = FindChild(parent, name);
        if (!node)
            node = AddChild(parent, name);
        if (i + 1 == parts.size()) {
            node->Image = image;
            node->Data = key;
        } else {
            node->Image = i == 0 ? 8 : 7;
            node->Data = -1;
        }
        NodeChanged(node);
        parent = node;
    }
}

const TSiteMapNode* TSiteMapModel::FindNode(const std::vector<std::string>& parts) const
{
    const TSiteMapNode* node = root_.get();
    for (const std::string& part : parts) {
        if (!node)
            return nullptr;
        if (part.empty())
            continue;
        node = FindChild(node, QString::fromStdString(part));
    }
    return node;
}

bool TSiteMapModel::SetTitle(const std::vector<std::string>& parts, const QString& title)
{
    if (title.isEmpty() || parts.empty() || parts.back().empty())
        return false;
    auto* node = const_cast<TSiteMapNode*>(FindNode(parts));
    if (!node || node == root_.get())
        return false;
    node->Title = title;
    NodeChanged(node);
    return true;
}
