#include "BoxText.h"

#include "Failure.h"

#include <QPlainTextEdit>
#include <QTextDocument>

namespace {

constexpr char16_t kCr = u'\r';
constexpr char16_t kLf = u'\n';
constexpr char16_t kCrPicture = u'\u240D';
constexpr char16_t kLfPicture = u'\u240A';

} // namespace

namespace BoxText {

QString ToBox(const QString &fileText)
{
    QString box;
    box.reserve(fileText.size());
    for (qsizetype i = 0; i < fileText.size(); ++i) {
        const char16_t c = fileText[i].unicode();
        if (c == kCr && i + 1 < fileText.size() && fileText[i + 1] == kLf) {
            box += kLf;
            ++i;
        } else if (c == kCr) {
            box += kCrPicture;
        } else if (c == kLf) {
            box += kLfPicture;
        } else {
            box += fileText[i];
        }
    }
    return box;
}

QString FromBox(const QString &boxText)
{
    QString file;
    file.reserve(boxText.size() + boxText.count(kLf));
    for (const QChar c : boxText) {
        switch (c.unicode()) {
        case kLf:
        case QChar::ParagraphSeparator:
            file += QLatin1String("\r\n");
            break;
        case kCrPicture:
            file += kCr;
            break;
        case kLfPicture:
            file += kLf;
            break;
        default:
            file += c;
        }
    }
    return file;
}

void Set(QPlainTextEdit *box, const QString &fileText)
{
    box->setPlainText(ToBox(fileText));
}

// The raw text keeps no-break spaces, which the plain text turns into blanks;
// its line breaks are paragraph separators.
QString Get(const QPlainTextEdit *box)
{
    return FromBox(box->document()->toRawText());
}

} // namespace BoxText

TextEncoding BoxText::Load(QPlainTextEdit *box, FileSystem &fs, const QString &path)
{
    try {
        const TextContent file = fs.ReadWhole(path);
        Set(box, file.text);
        return file.encoding;
    } catch (const Failure &) {
        box->clear();
        return TextEncoding::Utf8;
    }
}
