#include "ui/common/SerializeListView.h"

#include "engine/services/AppTraceLog.h"
#include "platform/ErrorCodes.h"
#include "platform/IniFile.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/UIStrings.h"

#include <QHeaderView>
#include <QTimer>
#include <QTreeWidget>

#include <stdexcept>

namespace {

const char* const kUnit = "SerializeListView";

TCSVRow RowOf(const QTreeWidgetItem* item, int columns)
{
    TCSVRow row;
    row.reserve(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c)
        row.push_back(StdStr(item->text(c)));
    return row;
}

}  // namespace

bool ListViewToCSVFile(QTreeWidget* list, const std::string& fileName, bool header)
{
    try {
        const int columns = list->columnCount();
        std::string text;
        if (header) {
            TCSVRow captions;
            for (int c = 0; c < columns; ++c)
                captions.push_back(StdStr(list->headerItem()->text(c)));
            text += CSVLineText(captions) + "\r\n";
        }
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            text += CSVLineText(RowOf(list->topLevelItem(i), columns)) + "\r\n";
        if (!AtomicWriteFile(fileName, text))
            throw std::runtime_error("Cannot create file \"" + fileName + "\"");
        return true;
    } catch (const std::exception& e) {
        LogEvent(etException, e.what(), "ListViewToCSVFile " + fileName, kUnit);
        // Shown once the caller has finished: a list saved while a report is handled never
        // waits on a person.
        QString text = QStr(e.what());
        QTimer::singleShot(0, list, [list, text] { ShowMessageBox(list, text, QString(), TBoxIcon::None); });
        return false;
    }
}

TCSVFileRead CSVFileToListView(QTreeWidget* list, const std::string& fileName, size_t maxBytes,
                               Qt::ItemFlags extraFlags)
{
    list->clear();
    TCSVFileRead result;
    if (!ReadWholeFile(fileName, result.text, maxBytes)) {
        const uint32_t code = GetLastErrorCode();
        result.missing = code == errc::FileNotFound || code == errc::PathNotFound;
        result.error = SystemErrorMessage(code);
        return result;
    }
    result.read = true;
    const int columns = list->columnCount();
    TCSVRows rows = CSVTextToRows(result.text, static_cast<size_t>(columns));
    result.skippedLines = rows.skippedLines;
    // Rows read back are aligned as their columns are, like rows the list's owner adds.
    const QTreeWidgetItem* header = list->headerItem();
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.rows.size()));
    for (const TCSVRow& row : rows.rows) {
        auto* item = new QTreeWidgetItem;
        item->setFlags(item->flags() | extraFlags);
        for (int c = 0; c < columns; ++c) {
            item->setText(c, QStr(row[static_cast<size_t>(c)]));
            const QVariant alignment = header->data(c, Qt::TextAlignmentRole);
            if (alignment.isValid())
                item->setData(c, Qt::TextAlignmentRole, alignment);
        }
        items.append(item);
    }
    list->setUpdatesEnabled(false);
    list->addTopLevelItems(items);
    list->setUpdatesEnabled(true);
    return result;
}
