#include "FileLineReader.h"

#include "Failure.h"

#include <cstring>

namespace {

// Length of the part of data that holds no UTF-8 sequence cut off by the
// end of data; the rest (at most three bytes) must wait for the next chunk.
qsizetype CompletePart(const char *data, qsizetype size)
{
    qsizetype lead = size;
    while (lead > 0 && size - lead < 3 && (uchar(data[lead - 1]) & 0xC0) == 0x80)
        --lead;
    if (lead == 0)
        return size;
    --lead;
    const uchar first = uchar(data[lead]);
    if (first < 0xC0)
        return size;
    const qsizetype length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : 2;
    return size - lead < length ? lead : size;
}

} // namespace

FileLineReader::FileLineReader(const QString &path, qsizetype chunkSize)
    : path_(path), file_(path), chunkSize_(chunkSize > 0 ? chunkSize : kChunkSize)
{
    if (path_.isEmpty())
        throw FileFailure(QStringLiteral("Cannot open : no file name given"));
    if (!file_.open(QIODevice::ReadOnly))
        throw FileFailure(QStringLiteral("Cannot open %1: %2").arg(path_, file_.errorString()));
    encoding_ = ScanEncoding();
    lineEncoding_ = {encoding_.charset, false};
    Seek(TextCodec::Mark(encoding_).size());
    chunk_.resize(chunkSize_);
}

qsizetype FileLineReader::Read(char *into, qsizetype size)
{
    const qsizetype n = file_.read(into, size);
    if (n < 0)
        throw FileFailure(QStringLiteral("Cannot read %1: %2").arg(path_, file_.errorString()));
    return n;
}

void FileLineReader::Seek(qint64 pos)
{
    if (!file_.seek(pos))
        throw FileFailure(QStringLiteral("Cannot read %1: %2").arg(path_, file_.errorString()));
}

TextEncoding FileLineReader::ScanEncoding()
{
    const QByteArrayView utf8Mark = TextCodec::Mark({TextEncoding::Charset::Utf8, true});
    char head[3];
    qsizetype got = 0;
    for (qsizetype n = 1; got < utf8Mark.size() && n > 0; got += n)
        n = Read(head + got, utf8Mark.size() - got);
    const bool mark = QByteArrayView(head, got) == utf8Mark;
    Seek(mark ? utf8Mark.size() : 0);

    // A sequence cut by the end of a chunk is moved to the front of the
    // buffer and completed by the next read.
    QByteArray buffer(chunkSize_ + 3, Qt::Uninitialized);
    qsizetype kept = 0;
    for (;;) {
        const qsizetype n = Read(buffer.data() + kept, chunkSize_);
        if (n == 0)
            return {kept == 0 ? TextEncoding::Charset::Utf8 : TextEncoding::Charset::Windows1252, mark};
        const qsizetype size = kept + n;
        const qsizetype complete = CompletePart(buffer.constData(), size);
        if (!TextCodec::IsValidUtf8(buffer.constData(), complete))
            return {TextEncoding::Charset::Windows1252, mark};
        kept = size - complete;
        std::memmove(buffer.data(), buffer.constData() + complete, kept);
    }
}

bool FileLineReader::Fill()
{
    if (pos_ < end_)
        return true;
    if (atEnd_)
        return false;
    pos_ = 0;
    end_ = Read(chunk_.data(), chunkSize_);
    atEnd_ = end_ == 0;
    return !atEnd_;
}

bool FileLineReader::Next(QString &line)
{
    if (skipLf_) {
        if (!Fill())
            return false;
        if (chunk_.at(pos_) == '\n')
            ++pos_;
        skipLf_ = false;
    }
    for (;;) {
        if (!Fill()) {
            // A line end right before the end of the file leaves nothing here.
            if (partial_.isEmpty())
                return false;
            line = TextCodec::Decode(partial_, lineEncoding_);
            partial_.clear();
            return true;
        }
        const char *begin = chunk_.constData() + pos_;
        const auto *cr = static_cast<const char *>(std::memchr(begin, '\r', size_t(end_ - pos_)));
        if (cr == nullptr) {
            partial_.append(begin, end_ - pos_);
            pos_ = end_;
            continue;
        }
        const qsizetype length = cr - begin;
        if (partial_.isEmpty()) {
            line = TextCodec::Decode(QByteArray::fromRawData(begin, length), lineEncoding_);
        } else {
            partial_.append(begin, length);
            line = TextCodec::Decode(partial_, lineEncoding_);
            partial_.clear();
        }
        pos_ += length + 1;
        if (pos_ < end_) {
            if (chunk_.at(pos_) == '\n')
                ++pos_;
        } else {
            skipLf_ = true;
        }
        return true;
    }
}
