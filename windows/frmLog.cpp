#include "frmLog.h"

#include "BoxText.h"
#include "Design.h"
#include "Failure.h"
#include "TabKeys.h"

#include <QPlainTextEdit>
#include <QPushButton>

#include <utility>

using Design::Place;

frmLog::frmLog(FileSystem &fs, MessageBox &msg, ProgramFolder folder, QWidget *parent)
    : QDialog(parent), fs(fs), msg(msg), folder(std::move(folder))
{
    setObjectName(QStringLiteral("frmLog"));
    setWindowTitle(QStringLiteral("Batch Log"));
    Design::UseDesignFont(this);
    Design::FixClientArea(this, 8565, 3870);

    txtLogview = Place<QPlainTextEdit>(this, "txtLogview", 0, 0, 8535, 3315);
    TabKeys::Pass(txtLogview);
    txtLogview->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtLogview->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtLogview->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto *cmdClear = Place<QPushButton>(this, "cmdClear", 480, 3480, 855, 315);
    cmdClear->setText(QStringLiteral("Clear"));
    auto *cmdExit = Place<QPushButton>(this, "cmdExit", 1500, 3480, 855, 315);
    cmdExit->setText(QStringLiteral("Exit"));
    for (QPushButton *button : {cmdClear, cmdExit})
        button->setAutoDefault(false);

    connect(cmdClear, &QPushButton::clicked, this, &frmLog::cmdClear_Click);
    connect(cmdExit, &QPushButton::clicked, this, &QDialog::reject);
    Form_Load();
}

void frmLog::Form_Load()
{
    encoding_ = BoxText::Load(txtLogview, fs, folder.LogFile());
}

void frmLog::cmdClear_Click()
{
    txtLogview->clear();
    try {
        const QString logFolder = folder.LogFolder();
        if (!fs.FolderExists(logFolder))
            fs.CreateFolder(logFolder);
        fs.WriteWhole(folder.LogFile(), BoxText::Get(txtLogview), encoding_);
    } catch (const Failure &error) {
        msg.Show(QStringLiteral("The run log could not be cleared.\r%1").arg(error.message()), MsgIcon::Critical);
    }
    accept();
}
