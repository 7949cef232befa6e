#include "frmPreview.h"

#include "Design.h"
#include "Failure.h"
#include "PreviewCsv.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <utility>

namespace {

// The filter boxes: name, caption, the rows they take.
const struct
{
    const char *name;
    const char *caption;
    PreviewFilter::Filter filter;
} kFilters[] = {
    {"chkNoMatch", "no match", PreviewFilter::NoMatch},
    {"chkSeveral", "several matches", PreviewFilter::SeveralMatches},
    {"chkRefused", "refused", PreviewFilter::Refused},
};

// Widths in characters of the columns Line .. Changes; the last stretches.
const int kColumnChars[] = {7, 18, 14, 18, 8, 8};

template <typename W>
W *Named(QWidget *parent, const char *name)
{
    auto *widget = new W(parent);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

frmPreview::frmPreview(PreviewReport report, FileSystem &fs, MessageBox &msg, std::function<QString()> chooseFile,
                       QWidget *parent)
    : QDialog(parent), report_(std::move(report)), fs(fs), msg(msg), chooseFile_(std::move(chooseFile)),
      model_(report_), filter_(model_)
{
    setObjectName(QStringLiteral("frmPreview"));
    setWindowTitle(QStringLiteral("Preview"));
    Design::UseDesignFont(this);
    resize(Design::Px(12000), Design::Px(7800));

    auto *totals = Named<QLabel>(this, "lblTotals");
    totals->setText(PreviewTotals(report_).join(QLatin1Char('\n')));
    totals->setTextInteractionFlags(Qt::TextSelectableByMouse);
    totals->setWordWrap(true);

    auto *filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("Show only:"), this));
    for (const auto &filter : kFilters) {
        auto *box = Named<QCheckBox>(this, filter.name);
        box->setText(QString::fromLatin1(filter.caption));
        connect(box, &QCheckBox::toggled, this, &frmPreview::Filter_Click);
        filters->addWidget(box);
    }
    filters->addStretch();

    // Rows of one height and set column widths: nothing is measured row by
    // row, so that a report of 32,767 updates opens at once.
    auto *rows = Named<QTableView>(this, "tblRows");
    rows->setModel(&filter_);
    rows->setSortingEnabled(true);
    rows->sortByColumn(PreviewModel::Line, Qt::AscendingOrder);
    rows->setSelectionBehavior(QAbstractItemView::SelectRows);
    rows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    rows->setWordWrap(false);
    rows->verticalHeader()->hide();
    rows->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    rows->verticalHeader()->setDefaultSectionSize(rows->fontMetrics().height() + 4);
    const int charWidth = rows->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (int column = 0; column < int(std::size(kColumnChars)); ++column)
        rows->setColumnWidth(column, kColumnChars[column] * charWidth + 8);
    rows->horizontalHeader()->setStretchLastSection(true);

    auto *cmdSave = Named<QPushButton>(this, "cmdSave");
    cmdSave->setText(QStringLiteral("Save Report..."));
    auto *cmdExit = Named<QPushButton>(this, "cmdExit");
    cmdExit->setText(QStringLiteral("Exit"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    for (QPushButton *button : {cmdSave, cmdExit}) {
        button->setAutoDefault(false);
        buttons->addWidget(button);
    }
    connect(cmdSave, &QPushButton::clicked, this, &frmPreview::cmdSave_Click);
    connect(cmdExit, &QPushButton::clicked, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(totals);
    layout->addLayout(filters);
    layout->addWidget(rows, 1);
    layout->addLayout(buttons);
}

void frmPreview::Filter_Click()
{
    int filters = 0;
    for (const auto &filter : kFilters) {
        if (findChild<QCheckBox *>(QLatin1String(filter.name))->isChecked())
            filters |= filter.filter;
    }
    filter_.SetFilters(filters);
}

void frmPreview::cmdSave_Click()
{
    const QString path = chooseFile_();
    if (path.isEmpty())
        return;
    try {
        fs.WriteWhole(path, PreviewCsv(report_), TextEncoding::Utf8);
    } catch (const Failure &error) {
        msg.Show(QStringLiteral("The report could not be saved.\r%1").arg(error.message()), MsgIcon::Critical);
    }
}
