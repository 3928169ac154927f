#pragma once

#include <QString>
#include <QWidget>

#include <memory>

class QDate;
class QLabel;
class QPrintPreviewWidget;
class QPrinter;
class QPushButton;

namespace tavrel {

class ReportDocument;

// The preview window "Report Output": the pages of the report document to read, print or
// keep as a PDF. There is one, not modal; the next report rebuilds it with its document.
class frmOutput : public QWidget {
    Q_OBJECT
public:
    explicit frmOutput(ReportDocument& document, QWidget* parent = nullptr);
    ~frmOutput() override;

    // The window the reports show (made on first use, for the program's document), or
    // null when it is not open.
    static frmOutput* showReport();
    static frmOutput* current();

    // Lays the pages out again from the document and shows the window.
    void showDocument();
    QPrintPreviewWidget* preview() const { return VSPrinter; }

public Q_SLOTS:
    void cmdPrint_Click();
    void cmdOK_Click();
    void cmdSavePdf_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool saveAsPdf(const QString& title);
    void goToPage(int page);
    void updatePageLabel();

    ReportDocument& document_;
    std::unique_ptr<QPrinter> printer_;
    QPrintPreviewWidget* VSPrinter = nullptr;
    QLabel* lblPage = nullptr;
    QPushButton* cmdPrint = nullptr;
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdSavePdf = nullptr;
};

// The file name Save as PDF proposes: the report's title and the day's date (ISO), made
// safe as a file name on any system: no separators or reserved characters, no control
// characters, no leading dot or dash.
QString proposedPdfName(const QString& title, const QDate& date);

// Makes frmOutput the window every finished report is shown in, and lays documents out
// on the default printer's paper.
void installReportOutputWindow();

} // namespace tavrel
