#include "frmFile.h"

#include "BoxText.h"
#include "Design.h"
#include "Failure.h"
#include "TabKeys.h"

#include <QPlainTextEdit>
#include <QPushButton>

using Design::Place;

frmFile::frmFile(MainValues &v, FileSystem &fs, QWidget *parent) : QDialog(parent), v(v), fs(fs)
{
    setObjectName(QStringLiteral("frmFile"));
    setWindowTitle(QStringLiteral("Imported File"));
    Design::UseDesignFont(this);
    Design::FixClientArea(this, 8565, 4650);

    txtViewFile = Place<QPlainTextEdit>(this, "txtViewFile", 0, 0, 8565, 4035);
    TabKeys::Pass(txtViewFile);
    txtViewFile->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtViewFile->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtViewFile->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    auto *cmdSave = Place<QPushButton>(this, "cmdSave", 480, 4200, 855, 315);
    cmdSave->setText(QStringLiteral("Save"));
    auto *cmdExit = Place<QPushButton>(this, "cmdExit", 1500, 4200, 855, 315);
    cmdExit->setText(QStringLiteral("Exit"));
    for (QPushButton *button : {cmdSave, cmdExit})
        button->setAutoDefault(false);

    connect(cmdSave, &QPushButton::clicked, this, &frmFile::cmdSave_Click);
    connect(cmdExit, &QPushButton::clicked, this, &QDialog::reject);
    Form_Load();
}

void frmFile::Form_Load()
{
    encoding_ = BoxText::Load(txtViewFile, fs, v.txtImportFile.Text);
}

void frmFile::cmdSave_Click()
{
    const QString path = v.txtImportFile.Text;
    try {
        const QString text = BoxText::Get(txtViewFile);
        fs.WriteWhole(path, text, TextCodec::Holding(text, encoding_));
    } catch (const Failure &) {
        // This window reports nothing and closes whatever happens; the write
        // is atomic, so the file keeps its old content whole.
    }
    try {
        v.txtViewImport.Text = fs.ReadWhole(path).text;
    } catch (const Failure &) {
        v.txtViewImport.Text.clear();
    }
    accept();
}
