#pragma once
// The small pictures of the progress page, drawn in code.
#include <QIcon>
#include <QList>

// Results, folder, host and root: indexes of TResultImage.
QList<QIcon> CompletedImageList();
// Download, page read, file write, pruning, flattening: indexes of TInProgressKind.
QList<QIcon> InProgressImageList();
