#include "reports/frmoutput.h"

#include "core/filedialog.h"
#include "core/programstate.h"
#include "core/uiseam.h"
#include "core/windowplacement.h"
#include "reports/pdfoutput.h"
#include "reports/printing.h"
#include "reports/reportdocument.h"
#include "text/datetext.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGraphicsView>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QToolBar>
#include <QVBoxLayout>

namespace tavrel {

namespace {

// A report is saved as a PDF document, or as a PNG image of each page (charts to put in a
// mail or a slide): the file's extension chooses.
const QString PdfFilter =
    QStringLiteral("PDF Files (*.pdf)|*.pdf|PNG Images (*.png)|*.png|All Files (*.*)|*.*");
// The longest title a proposed file name keeps, in UTF-16 units: with the date and ".pdf"
// it stays within the 255 bytes most file systems allow a name.
constexpr qsizetype PdfTitleLength = 80;
// The window's first size: most of a page at a readable zoom, where the screen has room.
constexpr int PreferredWidth = 860;
constexpr int PreferredHeight = 980;
constexpr qreal ZoomStep = 1.25;

QPointer<frmOutput>& theWindow() {
    static QPointer<frmOutput> window;
    return window;
}

} // namespace

QString proposedPdfName(const QString& title, const QDate& date) {
    // Characters some file system refuses in a name become a dash (a colon, which mostly
    // ends a label such as "Work Order:", a blank); control characters and runs of blanks
    // one blank.
    static const QString reserved = QStringLiteral("/\\*?\"<>|");
    QString name;
    for (const QChar c : title) {
        if (reserved.contains(c))
            name += QLatin1Char('-');
        else if (c == QLatin1Char(':') || c.category() == QChar::Other_Control || c.isSpace())
            name += QLatin1Char(' ');
        else
            name += c;
    }
    name = name.simplified();
    // A leading dot hides the file and a leading dash reads as an option to a command; a
    // trailing dot or blank Windows drops.
    while (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char(' ')) ||
           name.startsWith(QLatin1Char('-')))
        name.remove(0, 1);
    if (name.size() > PdfTitleLength) {
        qsizetype cut = PdfTitleLength;
        if (name.at(cut - 1).isHighSurrogate())
            --cut;
        name.truncate(cut);
    }
    while (name.endsWith(QLatin1Char('.')) || name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    if (name.isEmpty())
        name = QStringLiteral("Report");
    return name + QLatin1Char(' ') + date.toString(Qt::ISODate) + QStringLiteral(".pdf");
}

frmOutput::frmOutput(ReportDocument& document, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , document_(document)
    , printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    setObjectName(QStringLiteral("frmOutput"));
    setWindowTitle(QStringLiteral("Report Output"));
    // The program ends with its main window, whether or not a report is still shown.
    setAttribute(Qt::WA_QuitOnClose, false);

    printer_->setPageLayout(document_.pageLayout());
    VSPrinter = new QPrintPreviewWidget(printer_.get(), this);
    VSPrinter->setObjectName(QStringLiteral("VSPrinter"));
    VSPrinter->setZoomMode(QPrintPreviewWidget::FitToWidth);
    connect(VSPrinter, &QPrintPreviewWidget::paintRequested, this,
            [this](QPrinter* printer) { document_.print(*printer); });
    connect(VSPrinter, &QPrintPreviewWidget::previewChanged, this, [this] { updatePageLabel(); });
    // The preview tells of no page change: scrolling through the pages is one.
    if (auto* view = VSPrinter->findChild<QGraphicsView*>())
        connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this,
                [this] { updatePageLabel(); });

    auto* tools = new QToolBar(this);
    tools->setObjectName(QStringLiteral("tbrPreview"));
    auto addTool = [&](const QString& name, const QString& text, auto slot) {
        QAction* action = tools->addAction(text);
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    addTool(QStringLiteral("tbrFitWidth"), QStringLiteral("Fit &Width"),
            [this] { VSPrinter->setZoomMode(QPrintPreviewWidget::FitToWidth); });
    addTool(QStringLiteral("tbrWholePage"), QStringLiteral("&Whole Page"),
            [this] { VSPrinter->setZoomMode(QPrintPreviewWidget::FitInView); });
    addTool(QStringLiteral("tbrZoomIn"), QStringLiteral("Zoom &In"),
            [this] { VSPrinter->zoomIn(ZoomStep); });
    addTool(QStringLiteral("tbrZoomOut"), QStringLiteral("Zoom &Out"),
            [this] { VSPrinter->zoomOut(ZoomStep); });
    tools->addSeparator();
    addTool(QStringLiteral("tbrFirstPage"), QStringLiteral("|<"), [this] { goToPage(1); });
    addTool(QStringLiteral("tbrPreviousPage"), QStringLiteral("<"),
            [this] { goToPage(VSPrinter->currentPage() - 1); });
    lblPage = new QLabel(this);
    lblPage->setObjectName(QStringLiteral("lblPage"));
    lblPage->setContentsMargins(8, 0, 8, 0);
    tools->addWidget(lblPage);
    addTool(QStringLiteral("tbrNextPage"), QStringLiteral(">"),
            [this] { goToPage(VSPrinter->currentPage() + 1); });
    addTool(QStringLiteral("tbrLastPage"), QStringLiteral(">|"),
            [this] { goToPage(VSPrinter->pageCount()); });

    cmdPrint = new QPushButton(QStringLiteral("&Print"), this);
    cmdPrint->setObjectName(QStringLiteral("cmdPrint"));
    cmdSavePdf = new QPushButton(QStringLiteral("Save as P&DF..."), this);
    cmdSavePdf->setObjectName(QStringLiteral("cmdSavePdf"));
    cmdOK = new QPushButton(QStringLiteral("&Ok"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    connect(cmdPrint, &QPushButton::clicked, this, &frmOutput::cmdPrint_Click);
    connect(cmdSavePdf, &QPushButton::clicked, this, &frmOutput::cmdSavePdf_Click);
    connect(cmdOK, &QPushButton::clicked, this, &frmOutput::cmdOK_Click);
    // Escape leaves the preview as Ok does, wherever the focus is in the window.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("scEscape"));
    connect(escape, &QShortcut::activated, this, &frmOutput::cmdOK_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdPrint);
    buttons->addWidget(cmdSavePdf);
    buttons->addWidget(cmdOK);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tools);
    layout->addWidget(VSPrinter, 1);
    layout->addLayout(buttons);

    // Over the window the report was asked for from, within the screen's free area.
    placeOnScreen(this, QSize(PreferredWidth, PreferredHeight), QApplication::activeWindow());
}

frmOutput::~frmOutput() = default;

frmOutput* frmOutput::current() {
    return theWindow();
}

frmOutput* frmOutput::showReport() {
    QPointer<frmOutput>& window = theWindow();
    if (!window) {
        window = new frmOutput(reportDocument());
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->showDocument();
    return window;
}

void frmOutput::showDocument() {
    // The paper may differ from the last report's (a landscape custom report).
    printer_->setPageLayout(document_.pageLayout());
    VSPrinter->updatePreview();
    VSPrinter->setCurrentPage(1);
    updatePageLabel();
    bringForward(this);
}

void frmOutput::goToPage(int page) {
    VSPrinter->setCurrentPage(page);
    updatePageLabel();
}

void frmOutput::updatePageLabel() {
    lblPage->setText(
        QStringLiteral("Page %1 of %2")
            .arg(wholeNumber(VSPrinter->currentPage()), wholeNumber(VSPrinter->pageCount())));
}

void frmOutput::cmdPrint_Click() {
    if (!hasRealPrinter()) {
        if (saveAsPdf(QStringLiteral("No Printer Is Set Up: Save the Report as PDF")))
            close();
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageLayout(document_.pageLayout());
    printer.setDocName(windowTitle());
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("Print"));
    // Cancelled: nothing was printed, so the report stays on the screen.
    if (ui().showModal(&dialog) != QDialog::Accepted)
        return;
    if (!document_.print(printer)) {
        ui().msgBox(QStringLiteral("The report could not be sent to the printer '") +
                    printer.printerName() + QStringLiteral("'."));
        return;
    }
    close();
}

void frmOutput::cmdOK_Click() {
    close();
}

void frmOutput::cmdSavePdf_Click() {
    saveAsPdf(QStringLiteral("Save the Report as PDF"));
}

bool frmOutput::saveAsPdf(const QString& title) {
    const std::optional<QString> path = ui().saveFileName(
        this, title, PdfFilter, state().AppPath + proposedPdfName(document_.title(), ui().today()));
    if (!path)
        return false;
    ConfirmFileReplace(*path);
    if (state().Cancelled)
        return false;
    QString error;
    const bool png = path->endsWith(QLatin1String(".png"), Qt::CaseInsensitive);
    if (!(png ? printToPng(document_, *path, &error) : printToPdf(document_, *path, &error))) {
        ui().msgBox(error);
        return false;
    }
    return true;
}

void frmOutput::closeEvent(QCloseEvent* event) {
    // The document lives as long as the window: the next report starts from a new one.
    document_.reset();
    event->accept();
}

void installReportOutputWindow() {
    reportDocument().setPaper(defaultPrinterPage());
    state().reportViewer = [] { frmOutput::showReport(); };
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] { delete theWindow(); });
}

} // namespace tavrel
