#include "custom/frmrptspec.h"

#include "core/errortrap.h"
#include "core/filedialog.h"
#include "core/frmmain.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "custom/customreport.h"
#include "data/textorder.h"
#include "data/units.h"
#include "dialogs/datefield.h"
#include "reports/reportoutput.h"
#include "reports/tablefile.h"
#include "text/datetext.h"
#include "text/singlenumber.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace tavrel {

namespace {

const QString WindowCaption = QStringLiteral("Custom Report");
const QString ReportFilter = QStringLiteral("Report Files (*.rpt)|*.rpt");
const QString ReportEnding = QStringLiteral(".rpt");
const QString SaveCurrentTitle = QStringLiteral("Save Current Report");
const QString SaveCurrentText = QStringLiteral("Do you wish to save the current report?");
constexpr int SpecIdRole = Qt::UserRole;
constexpr int ListTextMargin = 12; // pixels beside an item's text in a list
constexpr int CriterionChars = 14; // characters a criterion box shows

QPointer<frmRptSpec>& openDesigner() {
    static QPointer<frmRptSpec> designer;
    return designer;
}

int specIdOf(const QListWidgetItem* item) {
    return item ? item->data(SpecIdRole).toInt() : 0;
}

// The entry chosen in `list`, or null. The selection says which, not the current item: a
// mouse click makes an entry current before it selects it.
QListWidgetItem* selectedEntry(const QListWidget* list) {
    const QList<QListWidgetItem*> chosen = list->selectedItems();
    return chosen.isEmpty() ? nullptr : chosen.first();
}

QString serialDateText(SerialDate serial) {
    return serial == 0 ? QString() : shortDate(fromSerial(serial).date());
}

QString serialTimeText(SerialDate serial) {
    return serial == 0 ? QString() : mediumTime(fromSerial(serial).time());
}

// A time box takes a time of day or a full date and time.
std::optional<QDateTime> readTime(const QString& text) {
    const QString typed = text.trimmed();
    const QLocale locale;
    for (const QString& format :
         {locale.timeFormat(QLocale::ShortFormat), locale.timeFormat(QLocale::LongFormat),
          QStringLiteral("H:mm"), QStringLiteral("H:mm:ss")}) {
        const QTime time = locale.toTime(typed, format);
        if (time.isValid())
            return QDateTime(dayZero(), time);
    }
    for (const QString& format : {locale.dateTimeFormat(QLocale::ShortFormat),
                                  locale.dateTimeFormat(QLocale::LongFormat)}) {
        const QDateTime dateTime = locale.toDateTime(typed, format);
        if (dateTime.isValid())
            return dateTime;
    }
    // A date, then perhaps a time after the last blank.
    if (const std::optional<QDate> date = toDate(typed))
        return QDateTime(*date, QTime(0, 0));
    const qsizetype blank = typed.indexOf(u' ');
    if (blank > 0) {
        const std::optional<QDate> date = toDate(typed.left(blank));
        const std::optional<QDateTime> time = readTime(typed.mid(blank + 1));
        if (date && time && time->date() == dayZero())
            return QDateTime(*date, time->time());
    }
    return std::nullopt;
}

template <class Widget> Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// One control with a caption of its own: where it is kept, its name and its caption.
template <class Widget> struct Captioned {
    Widget*& control;
    const char* name;
    const char* caption;
};

template <class Widget> void createCaptioned(std::initializer_list<Captioned<Widget>> controls) {
    for (const Captioned<Widget>& c : controls)
        c.control = named(new Widget(QString::fromUtf8(c.caption)), c.name);
}

// Connects a signal to a handler of the window, run under the unexpected-error guard.
template <class Sender, class Signal>
void onSignal(frmRptSpec* window, Sender* sender, Signal signal, void (frmRptSpec::*handler)()) {
    QObject::connect(sender, signal, window, [window, handler] {
        guardedCall([window, handler] { (window->*handler)(); });
    });
}

} // namespace

frmRptSpec::frmRptSpec(QWidget* parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmRptSpec"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(WindowCaption);
    buildWindow();
    tableDetailStores();
    guardedCall([this] { Form_Load(); });
}

frmRptSpec::~frmRptSpec() = default;

// Every control of the window with its name and caption, before any layout places it.
void frmRptSpec::createControls() {
    List1 = named(new QListWidget, "List1");
    List2 = named(new QListWidget, "List2");
    const struct {
        QToolButton*& button;
        const char* name;
        Qt::ArrowType arrow;
        const char* tip;
    } arrows[] = {
        {cmdAdd, "cmdAdd", Qt::RightArrow, "Add the field to the report"},
        {cmdRemove, "cmdRemove", Qt::LeftArrow, "Remove the field from the report"},
        {cmdUp, "cmdUp", Qt::UpArrow, "Move the field up"},
        {cmdDown, "cmdDown", Qt::DownArrow, "Move the field down"},
    };
    for (const auto& arrow : arrows) {
        arrow.button = named(new QToolButton, arrow.name);
        arrow.button->setArrowType(arrow.arrow);
        arrow.button->setToolTip(QString::fromUtf8(arrow.tip));
    }
    const struct {
        QLineEdit*& box;
        const char* name;
    } boxes[] = {{txtWidth, "txtWidth"}, {txtStarting, "txtStarting"},   {txtGreater, "txtGreater"},
                 {txtLess, "txtLess"},   {txtStartTime, "txtStartTime"}, {txtEndTime, "txtEndTime"},
                 {txtTitle, "txtTitle"}};
    for (const auto& box : boxes)
        box.box = named(new QLineEdit, box.name);
    createCaptioned<QCheckBox>({{chkHide, "chkHide", "&Hide Field"},
                                {chkTotal, "chkTotal", "Show T&otal"},
                                {chkDate, "chkDate", "Show &Date in Header"}});
    createCaptioned<QRadioButton>({{optTrue, "optTrue", "T&rue"},
                                   {optFalse, "optFalse", "F&alse"},
                                   {optWidth[0], "optWidth0", "Width in &Inches"},
                                   {optWidth[1], "optWidth1", "&Centimeters"},
                                   {optOrient[0], "optOrient0", "P&ortrait"},
                                   {optOrient[1], "optOrient1", "&Landscape"},
                                   {optReportTo[1], "optReportTo1", "&Screen/Printer"},
                                   {optReportTo[2], "optReportTo2", "&Text File"},
                                   {optReportTo[3], "optReportTo3", "&Web Table (html)"}});
    createCaptioned<QGroupBox>({{frame1, "frame1", "Details For "},
                                {fraFormat, "fraFormat", "Report Formatting"},
                                {fraOrient, "fraOrient", "Report Orientation"},
                                {Frame2, "Frame2", "Report To"}});
    for (auto [combo, name] : {std::pair{&cmbPageNum, "cmbPageNum"},
                               std::pair{&cmbSort1, "cmbSort1"}, std::pair{&cmbSort2, "cmbSort2"}})
        *combo = named(new QComboBox, name);
    const struct {
        DateField*& field;
        const char* name;
        const char* pickerCaption;
    } dates[] = {{dcStartDate, "dcStartDate", "Select Start Date"},
                 {dcEndDate, "dcEndDate", "Select End Date"}};
    for (const auto& date : dates) {
        date.field = named(new DateField, date.name);
        date.field->setCheck(
            DateField::Kind::Optional,
            QStringLiteral("You must enter a valid date or leave this selection field blank."));
        date.field->setPlacement(DateField::Placement::BelowRightAligned);
        date.field->setPickerCaption(QString::fromUtf8(date.pickerCaption));
    }
}

void frmRptSpec::buildWindow() {
    // The File menu: each command with its caption and its handler.
    const struct {
        QAction*& command;
        const char* name;
        const char* caption;
        void (frmRptSpec::*handler)();
    } commands[] = {{mnuNew, "mnuNew", "&New", &frmRptSpec::mnuNew_Click},
                    {mnuOpen, "mnuOpen", "&Open", &frmRptSpec::mnuOpen_Click},
                    {mnuSave, "mnuSave", "&Save", &frmRptSpec::mnuSave_Click},
                    {mnuSaveAs, "mnuSaveAs", "Save &As", &frmRptSpec::mnuSaveAs_Click},
                    {mnuExit, "mnuExit", "E&xit Custom Reports", &frmRptSpec::mnuExit_Click}};
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    for (const auto& command : commands) {
        if (&command.command == &mnuExit)
            file->addSeparator();
        command.command = named(file->addAction(QString::fromUtf8(command.caption)), command.name);
        onSignal(this, command.command, &QAction::triggered, command.handler);
    }

    auto* central = new QWidget(this);
    setCentralWidget(central);
    Tab1 = named(new QTabWidget(central), "Tab1");
    createControls();
    Tab1->addTab(fieldsPage(), QStringLiteral("Report Fields"));
    Tab1->addTab(optionsPage(), QStringLiteral("Report Options"));
    auto* sortPage = new QWidget;
    auto* sortLayout = new QFormLayout(sortPage);
    sortLayout->addRow(QStringLiteral("&Primary Sort"), cmbSort1);
    sortLayout->addRow(QStringLiteral("&Secondary Sort"), cmbSort2);
    Tab1->addTab(sortPage, QStringLiteral("Sorting"));

    cmdGenerate = named(new QPushButton(QStringLiteral("&Generate Report")), "cmdGenerate");
    cmdCancel = named(new QPushButton(QStringLiteral("E&xit Custom Reports")), "cmdCancel");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdGenerate);
    buttons->addWidget(cmdCancel);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(Tab1, 1);
    layout->addLayout(buttons);
    connectControls();
}

QWidget* frmRptSpec::fieldsPage() {
    auto* page = new QWidget;
    auto* available = new QLabel(QStringLiteral("A&vailable Fields"));
    available->setBuddy(List1);
    auto* toReport = new QLabel(QStringLiteral("&Fields to Report"));
    toReport->setBuddy(List2);
    auto buttonColumn = [](QToolButton* upper, QToolButton* lower) {
        auto* column = new QVBoxLayout;
        column->addStretch(1);
        column->addWidget(upper);
        column->addWidget(lower);
        column->addStretch(1);
        return column;
    };
    auto* lists = new QGridLayout;
    lists->addWidget(available, 0, 0);
    lists->addWidget(toReport, 0, 2);
    lists->addWidget(List1, 1, 0);
    lists->addLayout(buttonColumn(cmdAdd, cmdRemove), 1, 1);
    lists->addWidget(List2, 1, 2);
    lists->addLayout(buttonColumn(cmdUp, cmdDown), 1, 3);

    // The selection criteria of each type of field (1 text ... 5 time): rows of a caption
    // (or none) and its control.
    const std::vector<std::pair<const char*, QWidget*>> criteria[] = {
        {},
        {{"&Starts with:", txtStarting}},
        {{"&Greater Than", txtGreater}, {"&Less Than", txtLess}, {nullptr, chkTotal}},
        {{"&Start Date", dcStartDate}, {"&End Date", dcEndDate}},
        {{nullptr, optTrue}, {nullptr, optFalse}},
        {{"&Start Time", txtStartTime}, {"&End Time", txtEndTime}}};
    for (int type = 1; type <= 5; ++type) {
        fraSel[type] = new QGroupBox(QStringLiteral("Selection Criteria"));
        fraSel[type]->setObjectName(QStringLiteral("fraSel%1").arg(type));
        fraSel[type]->setVisible(false);
        auto* rows = new QFormLayout(fraSel[type]);
        for (const auto& [caption, control] : criteria[type]) {
            if (caption)
                rows->addRow(QString::fromUtf8(caption), control);
            else
                rows->addRow(control);
        }
    }
    // Room for a typed criterion whichever frame is shown.
    for (QLineEdit* box : {txtStarting, txtGreater, txtLess, txtStartTime, txtEndTime})
        box->setMinimumWidth(box->fontMetrics().averageCharWidth() * CriterionChars);
    // True and False start both clear, which an exclusive pair cannot show.
    optTrue->setAutoExclusive(false);
    optFalse->setAutoExclusive(false);

    auto* details = new QVBoxLayout(frame1);
    auto* widthRow = new QFormLayout;
    widthRow->addRow(QStringLiteral("&Width"), txtWidth);
    widthRow->addRow(chkHide);
    details->addLayout(widthRow);
    for (int type = 1; type <= 5; ++type)
        details->addWidget(fraSel[type]);
    details->addStretch(1);
    frame1->setVisible(false);

    auto* pageLayout = new QHBoxLayout(page);
    pageLayout->addLayout(lists, 3);
    pageLayout->addWidget(frame1, 2);
    return page;
}

QWidget* frmRptSpec::optionsPage() {
    auto* page = new QWidget;
    auto* format = new QFormLayout(fraFormat);
    format->addRow(optWidth[0]);
    format->addRow(optWidth[1]);
    format->addRow(QStringLiteral("&Page Number"), cmbPageNum);
    format->addRow(chkDate);
    lblPageWidth = named(new QLabel, "lblPageWidth");
    lblPageWidth->setWordWrap(true);
    lblPageWidth->hide();
    auto* orient = new QVBoxLayout(fraOrient);
    orient->addWidget(optOrient[0]);
    orient->addWidget(optOrient[1]);
    orient->addWidget(lblPageWidth);
    auto* destinations = new QVBoxLayout(Frame2);
    for (int i = 1; i <= 3; ++i)
        destinations->addWidget(optReportTo[i]);
    auto* pageLayout = new QGridLayout(page);
    auto* titleLabel = new QLabel(QStringLiteral("Report &Title"));
    titleLabel->setBuddy(txtTitle);
    pageLayout->addWidget(titleLabel, 0, 0);
    pageLayout->addWidget(txtTitle, 0, 1, 1, 2);
    pageLayout->addWidget(fraFormat, 1, 0, 2, 2);
    pageLayout->addWidget(fraOrient, 1, 2);
    pageLayout->addWidget(Frame2, 2, 2);
    pageLayout->setRowStretch(3, 1);
    return page;
}

void frmRptSpec::connectControls() {
    // Handlers, each under the unexpected-error guard.
    const struct {
        QAbstractButton* button;
        void (frmRptSpec::*handler)();
    } clicks[] = {{cmdAdd, &frmRptSpec::cmdAdd_Click},
                  {cmdRemove, &frmRptSpec::cmdRemove_Click},
                  {cmdUp, &frmRptSpec::cmdUp_Click},
                  {cmdDown, &frmRptSpec::cmdDown_Click},
                  {optReportTo[1], &frmRptSpec::optReportTo_Click},
                  {optReportTo[2], &frmRptSpec::optReportTo_Click},
                  {optReportTo[3], &frmRptSpec::optReportTo_Click},
                  {cmdGenerate, &frmRptSpec::cmdGenerate_Click},
                  {cmdCancel, &frmRptSpec::cmdCancel_Click}};
    for (const auto& click : clicks)
        onSignal(this, click.button, &QAbstractButton::clicked, click.handler);
    onSignal(this, List1, &QListWidget::itemDoubleClicked, &frmRptSpec::cmdAdd_Click);
    // A click shows the field once it is selected: the mouse makes an entry current before
    // it selects it, the keys select it before making it current.
    onSignal(this, List2, &QListWidget::itemSelectionChanged, &frmRptSpec::List2_Click);

    // Edits that only mark the report as changed.
    for (QLineEdit* box :
         {txtTitle, txtWidth, txtStarting, txtGreater, txtLess, txtStartTime, txtEndTime})
        connect(box, &QLineEdit::textChanged, this, &frmRptSpec::markDirty);
    for (DateField* field : {dcStartDate, dcEndDate})
        connect(field, &DateField::textChanged, this, &frmRptSpec::markDirty);
    for (QComboBox* combo : {cmbPageNum, cmbSort1, cmbSort2})
        connect(combo, &QComboBox::currentIndexChanged, this, &frmRptSpec::markDirty);
    for (QAbstractButton* button : std::initializer_list<QAbstractButton*>{
             chkDate, chkHide, chkTotal, optTrue, optFalse, optOrient[0], optOrient[1], optWidth[0],
             optWidth[1]})
        connect(button, &QAbstractButton::clicked, this, &frmRptSpec::markDirty);

    // Details stored as they are chosen; the boxes store theirs on losing the focus.
    for (QAbstractButton* button :
         std::initializer_list<QAbstractButton*>{chkHide, chkTotal, optTrue, optFalse})
        connect(button, &QAbstractButton::clicked, this, [this, button] { storeDetail(button); });
    for (QWidget* box :
         std::initializer_list<QWidget*>{txtWidth, txtStarting, txtGreater, txtLess, txtStartTime,
                                         txtEndTime, dcStartDate, dcEndDate})
        box->installEventFilter(this);

    // What decides whether the columns fit the page.
    connect(chkHide, &QCheckBox::clicked, this, &frmRptSpec::showPageWidthWarning);
    for (QRadioButton* option : {optOrient[0], optOrient[1], optWidth[0], optWidth[1]})
        connect(option, &QRadioButton::toggled, this, &frmRptSpec::showPageWidthWarning);
    connect(List2->model(), &QAbstractItemModel::rowsInserted, this,
            &frmRptSpec::showPageWidthWarning);
    connect(List2->model(), &QAbstractItemModel::rowsRemoved, this,
            &frmRptSpec::showPageWidthWarning);
}

void frmRptSpec::showPageWidthWarning() {
    if (!lblPageWidth || !List2 || !optOrient[1] || !optWidth[1])
        return;
    const ReportDefinition report = definition();
    int columns = 0;
    for (const TableColumn& column :
         parseTableFormat(buildReportQuery(report, catalogue_).tableFormat))
        columns += column.twips;
    const int page = reportDocument().printableWidth(report.orientation);
    if (columns <= page) {
        lblPageWidth->hide();
        return;
    }
    const bool cm = report.widthUnit == WidthUnit::Centimeters;
    const double factor = cm ? TwipsPerCentimeter : TwipsPerInch;
    const QString unit = cm ? QStringLiteral(" cm") : QStringLiteral(" in");
    auto length = [&](int twips) { return QString::number(twips / factor, 'f', 1) + unit; };
    lblPageWidth->setText(QStringLiteral("The columns are %1 wide; the page holds %2. They "
                                         "will be printed smaller to fit (%3%).")
                              .arg(length(columns), length(page))
                              .arg(int(std::floor(100.0 * page / columns))));
    lblPageWidth->show();
}

void frmRptSpec::Form_Load() {
    Dirty = false;
    ReportFile.clear();
    ReportTable = state().CustomTable;
    optWidth[0]->setChecked(true);
    {
        ErrorTrap trap;
        SpecDb = openCatalogue();
    }
    cmbPageNum->addItems({QStringLiteral("At Bottom"), QStringLiteral("In Header"),
                          QStringLiteral("No Page Numbers")});
    ResetReport();
}

void frmRptSpec::ResetReport() {
    ErrorTrap trap;
    readCatalogue(SpecDb, [this] { catalogue_ = Catalogue::load(SpecDb, ReportTable); });
    const WidthUnit unit = optWidth[1]->isChecked() ? WidthUnit::Centimeters : WidthUnit::Inches;
    showDefinition(resetReport(catalogue_, unit));
    Dirty = false;
}

void frmRptSpec::showDefinition(const ReportDefinition& report) {
    loading_ = true;
    FieldSettings = report.settings;
    fraSel[ShownType]->setVisible(false);
    ShownType = 1;
    CurSpecId = 0;
    List1->clear();
    List2->clear();
    cmbSort1->clear();
    cmbSort2->clear();
    for (const CatalogueField& field : catalogue_.fields())
        if (!report.fields.contains(field.specId))
            insertAvailable(field.desc, field.specId);
    for (int id : report.fields) {
        auto* item = new QListWidgetItem(catalogue_.find(id)->desc, List2);
        item->setData(SpecIdRole, id);
    }
    for (const CatalogueField& field : catalogue_.sortFields()) {
        cmbSort1->addItem(field.desc, field.specId);
        cmbSort2->addItem(field.desc, field.specId);
    }
    // Both lists wide enough for the longest heading: the details frame that appears beside
    // them must not squeeze them into scrolling sideways.
    int widest = 0;
    for (const CatalogueField& field : catalogue_.fields())
        widest = qMax(widest, List1->fontMetrics().horizontalAdvance(field.desc));
    const int listWidth = widest + List1->style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                          2 * List1->frameWidth() + ListTextMargin;
    List1->setMinimumWidth(listWidth);
    List2->setMinimumWidth(listWidth);
    cmbSort1->setCurrentIndex(report.primarySort);
    cmbSort2->setCurrentIndex(report.secondarySort);
    cmbPageNum->setCurrentIndex(static_cast<int>(report.pageNumbers));
    chkDate->setChecked(report.showDate);
    orientOption(report.orientation)->setChecked(true);
    optWidth[static_cast<int>(report.widthUnit)]->setChecked(true);
    optReportTo[static_cast<int>(report.destination)]->setChecked(true);
    txtTitle->setText(report.title);
    for (QLineEdit* box : {txtWidth, txtStarting, txtGreater, txtLess, txtStartTime, txtEndTime})
        box->clear();
    dcStartDate->setText({});
    dcEndDate->setText({});
    chkHide->setChecked(false);
    chkTotal->setChecked(false);
    optTrue->setChecked(false);
    optFalse->setChecked(false);
    const bool toScreen = report.destination == ReportDestination::Document;
    fraFormat->setVisible(toScreen);
    fraOrient->setVisible(toScreen);
    if (List2->count() > 0)
        List2->setCurrentRow(0);
    loading_ = false;
    ShowFieldDetails();
    showPageWidthWarning();
}

void frmRptSpec::insertAvailable(const QString& text, int specId) {
    // The available list stays in the order the catalogue gave it: the program's order of
    // texts.
    int row = 0;
    while (row < List1->count() && compareText(List1->item(row)->text(), text) <= 0)
        ++row;
    auto* item = new QListWidgetItem(text);
    item->setData(SpecIdRole, specId);
    List1->insertItem(row, item);
}

ReportDefinition frmRptSpec::definition() const {
    ReportDefinition report;
    report.table = ReportTable;
    report.title = txtTitle->text();
    for (int i = 1; i <= 3; ++i)
        if (optReportTo[i]->isChecked())
            report.destination = static_cast<ReportDestination>(i);
    report.orientation = orientOption(PageOrientation::Landscape)->isChecked()
                             ? PageOrientation::Landscape
                             : PageOrientation::Portrait;
    report.showDate = chkDate->isChecked();
    report.pageNumbers = static_cast<PageNumbers>(std::max(0, cmbPageNum->currentIndex()));
    report.widthUnit = optWidth[1]->isChecked() ? WidthUnit::Centimeters : WidthUnit::Inches;
    report.primarySort = cmbSort1->currentIndex();
    report.secondarySort = cmbSort2->currentIndex();
    for (int row = 0; row < List2->count(); ++row)
        report.fields << specIdOf(List2->item(row));
    report.settings = FieldSettings;
    return report;
}

void frmRptSpec::markDirty() {
    if (!loading_)
        Dirty = true;
}

FieldSetting* frmRptSpec::shownSetting() {
    if (CurSpecId < 1 || static_cast<size_t>(CurSpecId) >= FieldSettings.size())
        return nullptr;
    return &FieldSettings[static_cast<size_t>(CurSpecId)];
}

void frmRptSpec::ShowFieldDetails() {
    QListWidgetItem* selected = selectedEntry(List2);
    if (!selected) {
        frame1->setVisible(false);
        return;
    }
    loading_ = true;
    frame1->setVisible(true);
    fraSel[ShownType]->setVisible(false);
    CurSpecId = specIdOf(selected);
    const CatalogueField* field = catalogue_.find(CurSpecId);
    ShownType = field ? static_cast<int>(field->type) : 1;
    fraSel[ShownType]->setVisible(true);
    frame1->setTitle(QStringLiteral("Details For ") + selected->text());
    const FieldSetting& s = *shownSetting();
    txtWidth->setText(numberText(s.ColWidth));
    chkHide->setChecked(s.HideCol);
    switch (static_cast<FieldType>(ShownType)) {
    case FieldType::Text:
        txtStarting->setText(s.StartsWith);
        break;
    case FieldType::Number:
        txtLess->setText(s.LessThan);
        txtGreater->setText(s.GreaterThan);
        chkTotal->setChecked(s.ShowTotal);
        break;
    case FieldType::Date:
        dcStartDate->setText(serialDateText(s.RangeStart));
        dcEndDate->setText(serialDateText(s.RangeEnd));
        break;
    case FieldType::YesNo:
        optTrue->setChecked(s.WantTrue);
        optFalse->setChecked(s.WantFalse);
        break;
    case FieldType::Time:
        txtStartTime->setText(serialTimeText(s.RangeStart));
        txtEndTime->setText(serialTimeText(s.RangeEnd));
        break;
    case FieldType::Code: // the catalogue the designer reads holds none
        break;
    }
    loading_ = false;
}

bool frmRptSpec::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // The focus leaving with the window (a message box, the picker) is not the user
        // leaving the box.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            storeDetail(static_cast<QWidget*>(watched));
    }
    return QMainWindow::eventFilter(watched, event);
}

bool frmRptSpec::storeFocusedDetail() {
    QWidget* focused = focusWidget();
    if (focused && qobject_cast<DateField*>(focused->parentWidget()))
        focused = focused->parentWidget();
    if (auto* field = qobject_cast<DateField*>(focused); field && !field->checkNow())
        return false;
    return focused ? storeDetail(focused) : true;
}

bool frmRptSpec::storeDetail(QWidget* control) {
    FieldSetting* s = shownSetting();
    if (!s || refusing_ || loading_ || !frame1->isVisible())
        return true;
    const auto store = detailStores_.constFind(control);
    if (store != detailStores_.constEnd() && !(*store)(*s))
        return false;
    if (control == txtWidth)
        showPageWidthWarning();
    return true;
}

void frmRptSpec::tableDetailStores() {
    // What each detail control stores into the shown field's settings.
    detailStores_ = {
        {txtWidth, [this](FieldSetting& s) { return storeWidth(s); }},
        {chkHide,
         [this](FieldSetting& s) {
             s.HideCol = chkHide->isChecked();
             return true;
         }},
        {chkTotal,
         [this](FieldSetting& s) {
             s.ShowTotal = chkTotal->isChecked();
             return true;
         }},
        {txtStarting,
         [this](FieldSetting& s) {
             s.StartsWith = txtStarting->text();
             return true;
         }},
        {txtGreater,
         [this](FieldSetting& s) { return storeNumberBound(txtGreater, s.GreaterThan); }},
        {txtLess, [this](FieldSetting& s) { return storeNumberBound(txtLess, s.LessThan); }},
        {dcStartDate,
         [this](FieldSetting& s) { return storeDateBound(dcStartDate, s.RangeStart); }},
        {dcEndDate, [this](FieldSetting& s) { return storeDateBound(dcEndDate, s.RangeEnd); }},
        {txtStartTime,
         [this](FieldSetting& s) { return storeTimeBound(txtStartTime, s.RangeStart); }},
        {txtEndTime, [this](FieldSetting& s) { return storeTimeBound(txtEndTime, s.RangeEnd); }},
        {optTrue,
         [this](FieldSetting& s) {
             return storeChoice(optTrue, optFalse, s.WantTrue, s.WantFalse);
         }},
        {optFalse,
         [this](FieldSetting& s) {
             return storeChoice(optFalse, optTrue, s.WantFalse, s.WantTrue);
         }},
    };
}

bool frmRptSpec::refuse(QWidget* box, const QString& text, bool keepFocus) {
    refusing_ = true;
    ui().msgBox(text);
    if (keepFocus)
        box->setFocus(Qt::OtherFocusReason);
    refusing_ = false;
    return false;
}

bool frmRptSpec::storeWidth(FieldSetting& s) {
    const std::optional<double> width = toNumber(txtWidth->text());
    if (!width)
        return refuse(txtWidth,
                      QStringLiteral("You must enter a valid number for the column width"), false);
    if (*width == 0) {
        s.HideCol = true;
        chkHide->setChecked(true);
    }
    s.ColWidth = static_cast<float>(*width);
    return true;
}

bool frmRptSpec::storeNumberBound(QLineEdit* box, QString& bound) {
    const QString text = box->text();
    if (!text.isEmpty() && !IsNumeric(text))
        return refuse(box,
                      QStringLiteral("You must enter a number or leave this selection field blank"),
                      true);
    bound = text;
    return true;
}

bool frmRptSpec::storeDateBound(DateField* field, SerialDate& bound) {
    // An invalid text is refused by the field itself, with its message.
    if (field->text().trimmed().isEmpty())
        bound = 0;
    else if (const std::optional<QDate> date = field->date())
        bound = toSerial(QDateTime(*date, QTime(0, 0)));
    else
        return false;
    return true;
}

bool frmRptSpec::storeTimeBound(QLineEdit* box, SerialDate& bound) {
    if (box->text().trimmed().isEmpty()) {
        bound = 0;
    } else if (const std::optional<QDateTime> time = readTime(box->text())) {
        bound = toSerial(*time);
    } else {
        return refuse(
            box, QStringLiteral("You must enter a valid time or leave this selection field blank."),
            true);
    }
    return true;
}

bool frmRptSpec::storeChoice(QRadioButton* chosen, QRadioButton* other, bool& wanted,
                             bool& otherWanted) {
    if (chosen->isChecked()) {
        wanted = true;
        otherWanted = false;
        other->setChecked(false);
    } else {
        // Clicking the chosen option again leaves it chosen: a choice is only switched.
        chosen->setChecked(true);
    }
    return true;
}

void frmRptSpec::List2_Click() {
    if (!loading_)
        ShowFieldDetails();
}

void frmRptSpec::cmdAdd_Click() {
    Dirty = true;
    QListWidgetItem* chosen = selectedEntry(List1);
    if (!chosen) {
        ui().msgBox(QStringLiteral(
            "You must select a field from the list of available fields to add to the report."));
        return;
    }
    auto* added = new QListWidgetItem(chosen->text(), List2);
    added->setData(SpecIdRole, chosen->data(SpecIdRole));
    delete List1->takeItem(List1->row(chosen));
    loading_ = true;
    List2->setCurrentRow(List2->count() - 1);
    loading_ = false;
    frame1->setVisible(true);
    ShowFieldDetails();
}

void frmRptSpec::cmdRemove_Click() {
    Dirty = true;
    QListWidgetItem* chosen = selectedEntry(List2);
    if (!chosen) {
        ui().msgBox(QStringLiteral("You must select a field to remove from the report."));
        return;
    }
    insertAvailable(chosen->text(), specIdOf(chosen));
    loading_ = true;
    delete List2->takeItem(List2->row(chosen));
    // Nothing is selected afterwards, as in a list box that lost its chosen entry.
    List2->setCurrentRow(-1);
    List2->clearSelection();
    loading_ = false;
    if (List2->count() == 0)
        frame1->setVisible(false);
    else
        ShowFieldDetails();
}

void frmRptSpec::moveReportField(int step) {
    Dirty = true;
    QListWidgetItem* chosen = selectedEntry(List2);
    if (!chosen) {
        ui().msgBox(step < 0
                        ? QStringLiteral("You must select the field to move up in the list")
                        : QStringLiteral("You must select the field to move down in the list"));
        return;
    }
    const int row = List2->row(chosen);
    const int target = row + step;
    if (List2->count() < 2 || target < 0 || target >= List2->count())
        return;
    loading_ = true;
    QListWidgetItem* moved = List2->takeItem(row);
    List2->insertItem(target, moved);
    List2->setCurrentRow(target);
    loading_ = false;
}

void frmRptSpec::cmdUp_Click() {
    moveReportField(-1);
}

void frmRptSpec::cmdDown_Click() {
    moveReportField(1);
}

void frmRptSpec::optReportTo_Click() {
    Dirty = true;
    const bool toScreen = optReportTo[1]->isChecked();
    fraFormat->setVisible(toScreen);
    fraOrient->setVisible(toScreen);
}

void frmRptSpec::cmdGenerate_Click() {
    if (!storeFocusedDetail())
        return;
    if (List2->count() == 0) {
        ui().msgBox(NoReportFieldsText);
        return;
    }
    const ReportDefinition report = definition();
    QString path;
    if (report.destination != ReportDestination::Document) {
        const bool text = report.destination == ReportDestination::TextFile;
        bool dialogFailed = false;
        {
            // Cancel, or anything going wrong while the dialog is up, ends the run.
            ErrorTrap trap([&dialogFailed](const DbError&) { dialogFailed = true; });
            path = commonFileDialog(
                FileDialogMode::Save, this, QStringLiteral("Save Report"),
                text ? TextFileFilter
                     : QStringLiteral("Html Files (*.htm)|*.htm|All Files (*.*)|*.*"),
                ReportTable + (text ? QStringLiteral(".txt") : QStringLiteral(".htm")));
        }
        if (dialogFailed || path.isEmpty())
            return;
        ConfirmFileReplace(path);
        if (state().Cancelled)
            return;
    }
    setCursor(Qt::WaitCursor);
    // CSV chosen here is for a spreadsheet program.
    runCustomReport(report, catalogue_, state().dbMain, path,
                    tableFileType(path) == TableFileType::Csv);
    unsetCursor();
}

void frmRptSpec::WriteReportFile() {
    ErrorTrap trap;
    writeReportFile(ReportFile, definition(), catalogue_);
    // Only the ending goes: ".rpt" elsewhere in the path is part of a folder's or the name.
    QString shown = ReportFile;
    if (shown.endsWith(ReportEnding, Qt::CaseSensitive))
        shown.chop(ReportEnding.size());
    setWindowTitle(WindowCaption + QStringLiteral(" - ") + QDir::toNativeSeparators(shown));
}

void frmRptSpec::askToSave() {
    if (Dirty && ui().msgBox(SaveCurrentText, MsgButtons::YesNo, MsgIcon::None, SaveCurrentTitle) ==
                     MsgResult::Yes)
        mnuSave_Click();
}

void frmRptSpec::mnuNew_Click() {
    storeFocusedDetail();
    askToSave();
    ResetReport();
    ReportFile.clear();
    Dirty = false;
}

void frmRptSpec::mnuSave_Click() {
    if (!storeFocusedDetail())
        return;
    if (!ReportFile.isEmpty())
        WriteReportFile();
    else
        mnuSaveAs_Click();
    Dirty = false;
}

void frmRptSpec::mnuSaveAs_Click() {
    if (!storeFocusedDetail())
        return;
    bool dialogFailed = false;
    QString path;
    {
        ErrorTrap trap([&dialogFailed](const DbError&) { dialogFailed = true; });
        path = commonFileDialog(FileDialogMode::Save, this, QStringLiteral("Save Report As"),
                                ReportFilter);
    }
    if (dialogFailed || path.isEmpty())
        return;
    // CheckReportFileExists
    state().Cancelled = false;
    if (QFileInfo(path).isFile() &&
        askBeforeDestroying(QStringLiteral("The report file '%1' already exists.  Do you wish "
                                           "to replace it?")
                                .arg(QDir::toNativeSeparators(path)),
                            QStringLiteral("File Exists")) == MsgResult::No)
        state().Cancelled = true;
    if (state().Cancelled)
        return;
    ReportFile = path;
    WriteReportFile();
    Dirty = false;
}

void frmRptSpec::mnuOpen_Click() {
    storeFocusedDetail();
    askToSave();
    bool dialogFailed = false;
    QString path;
    {
        ErrorTrap trap([&dialogFailed](const DbError&) { dialogFailed = true; });
        path = commonFileDialog(FileDialogMode::Open, this, QStringLiteral("Open Report"),
                                ReportFilter);
    }
    if (dialogFailed || path.isEmpty())
        return;
    ErrorTrap trap;
    const WidthUnit unit = optWidth[1]->isChecked() ? WidthUnit::Centimeters : WidthUnit::Inches;
    ReportFileRead read;
    readCatalogue(SpecDb, [&] { read = readReportFile(path, ReportTable, SpecDb, unit); });
    if (read.outcome == ReportFileRead::NotReadable)
        return;
    if (read.outcome != ReportFileRead::RejectedAtTable) {
        ReportTable = read.catalogue.table();
        catalogue_ = read.catalogue;
        showDefinition(read.report);
        Dirty = false;
    }
    if (read.outcome != ReportFileRead::Read) {
        // A file that failed after its first line leaves what was read, without a name.
        if (read.outcome == ReportFileRead::Rejected)
            ReportFile.clear();
        ui().msgBox(InvalidReportFileText, MsgButtons::Ok, MsgIcon::None, InvalidReportFileTitle);
        return;
    }
    ReportFile = path;
}

void frmRptSpec::mnuExit_Click() {
    close();
}

void frmRptSpec::cmdCancel_Click() {
    close();
}

void frmRptSpec::closeEvent(QCloseEvent* event) {
    guardedCall([this] {
        storeFocusedDetail();
        askToSave();
    });
    event->accept();
}

frmRptSpec* mnuCustom_Click(frmMain& main, int index) {
    state().ReportDest =
        main.rptOutEntry(ReportTarget::View)->isChecked() ? ReportTarget::View : ReportTarget::File;
    state().CustomTable = index == 1 ? QStringLiteral("tasks") : QStringLiteral("assign");
    QPointer<frmRptSpec>& designer = openDesigner();
    if (!designer) {
        // A window of its own beside the main window, not owned by it.
        designer = new frmRptSpec(&main);
        designer->setWindowFlag(Qt::Window);
        placeOver(designer, &main);
    }
    bringForward(designer);
    return designer;
}

void installCustomReports(frmMain& main) {
    main.installCommand(main.mnuCustom[1], [&main] { mnuCustom_Click(main, 1); });
    main.installCommand(main.mnuCustom[2], [&main] { mnuCustom_Click(main, 2); });
}

} // namespace tavrel
