#pragma once

#include "reports/qrcode.h"

#include <QList>
#include <QPageSize>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <optional>

class QPainter;

namespace tavrel {

class Database;
class ReportDocument;

// A sheet of adhesive labels as its maker cuts it: the paper, the grid of labels and where
// the first label's corner and the next ones stand, measured from the paper's top-left edge.
struct LabelStock {
    const char* key;     // the command line's name: "a4", "letter"
    const char* caption; // what the dialog lists
    QPageSize::PageSizeId paper;
    int columns;
    int rows;
    double width; // one label, in millimetres
    double height;
    double left; // the first label's left and top edge from the paper's edges
    double top;
    double pitchX; // from one label's left edge to the next one's, across
    double pitchY; // and from one label's top edge to the next one's, down

    int perSheet() const { return columns * rows; }
    // Label `place` (0 is the top-left one, then along the row) in millimetres from the
    // paper's top-left corner.
    QRectF placeRect(int place) const;
};

// The stocks the program prints on, as their makers publish them.
//
// A4, 24 labels of 63.5 x 33.9 mm (Avery L7159 and J8159, and the unbranded "24 per sheet"
// A4 sheets): 3 across at a pitch of 66.0 mm (2.5 mm between columns), 8 down at 33.9 mm
// (no gap), the first 7.25 mm from the left and 12.9 mm from the top edge. The labels are
// cut in the middle of the paper: 297 - 8 x 33.9 = 25.8 mm leaves 12.9 mm at top and
// bottom, and 210 - (2 x 66.0 + 63.5) = 14.5 mm leaves 7.25 mm at either side. (13.1 mm
// at the top is the figure of the 8-to-a-sheet stock, 99.1 x 67.7 mm; 6.4 mm at the side
// would leave 8.1 mm on the right.)
//
// Letter, 30 labels of 2 5/8 x 1 in (Avery 5160 and 8160): 3 across at a pitch of 2 3/4 in,
// 10 down at 1 in (no gap), the first 3/16 in from the left and 1/2 in from the top edge,
// again the same room on the opposite sides: 3/16 + 2 x 2 3/4 + 2 5/8 + 3/16 = 8 1/2 in and
// 1/2 + 10 + 1/2 = 11 in.
inline constexpr double MillimetresPerInch = 25.4;
inline constexpr LabelStock LabelStocks[] = {
    {"a4", "A4: 3 x 8 labels of 63.5 x 33.9 mm (Avery L7159)", QPageSize::A4, 3, 8, 63.5, 33.9,
     7.25, 12.9, 66.0, 33.9},
    {"letter", "Letter: 3 x 10 labels of 2 5/8 x 1 in (Avery 5160)", QPageSize::Letter, 3, 10,
     2.625 * MillimetresPerInch, 1.0 * MillimetresPerInch, 0.1875 * MillimetresPerInch,
     0.5 * MillimetresPerInch, 2.75 * MillimetresPerInch, 1.0 * MillimetresPerInch},
};

// The stock of that key (without regard to case), if there is one.
std::optional<LabelStock> labelStockNamed(const QString& key);
// The stock offered first: Letter where the locale measures in inches, else A4.
const LabelStock& defaultLabelStock();

// Room left free inside a label at its right, top and bottom edge, so that a sheet fed a
// little askew or cut a little off does not lose the text; the QR code's light margin (its
// quiet zone) is the room at its left.
inline constexpr double LabelPadding = 2.0; // millimetres

// What one label shows: the QR code of the task's code, and beside it the task's name (bold,
// on as many lines as the label's height leaves, up to three), its tag number, its location
// and the code in small type.
struct LabelContent {
    QString code;
    QString name;
    QString tag;
    QString location;
};

// A label laid out: its texts as they fit (a text too long cut with an ellipsis) and its
// symbol. Measures in twips from the label's top-left corner.
struct LabelLayout {
    QString code;
    QrSymbol symbol;
    QRectF symbolRect; // the symbol itself: its quiet zone lies around it inside the label
    QStringList nameLines;
    QString tag;
    QString location;
    QString codeLine;

    // What stands on the label, for reading: code|name|tag|location, the name's lines
    // joined by a blank.
    QString text() const;
};

LabelLayout layoutLabel(const LabelStock& stock, const LabelContent& content);
// Paints a label laid out by layoutLabel; the painter's units are twips, its origin the
// label's top-left corner. Nothing is painted outside the label.
void paintLabel(QPainter& painter, const LabelStock& stock, const LabelLayout& label);

// How near to the paper's edge anything painted on a label of the stock comes, in
// millimetres: a printer that can print that near its edges prints every label whole.
double closestPaintToEdge(const LabelStock& stock);

// The tasks labels are made for: all of them, those of the locations named `location`
// (trimmed, without regard to case; several locations of that name all count), and of
// those the keys in `taskIds` alone when it is not empty. In task-name order.
struct LabelChoice {
    QString location;
    QList<qint64> taskIds;
};

struct LabelTask {
    qint64 taskid = 0;
    QString name;
    QString tag;
    QString location;
};

// The names of the locations, in order, each once (for the dialog's list).
QStringList labelLocationNames(Database& db);
// The keys of the locations of that name; empty when there is none.
QList<qint64> locationsNamed(Database& db, const QString& name);
// The tasks of `choice`, in task-name order. A failing query goes to the trap in force.
QList<LabelTask> labelTasks(Database& db, const LabelChoice& choice);

// How writing labels ended.
struct LabelsOutcome {
    int labels = 0;
    QString error; // why nothing was written; empty when the labels were written
};

// Writes the labels of `choice` into `document` (begun anew as a sheet of `stock`), from
// place `start` (1 = the top-left label) of the first sheet on, one per task, the codes
// those of the site open now. Refused, with the reason, for a location nobody named, no
// tasks, a start outside the sheet or an unreadable site identifier; the document then
// holds nothing new.
LabelsOutcome writeLabels(Database& db, ReportDocument& document, const LabelStock& stock,
                          int start, const LabelChoice& choice);

} // namespace tavrel
