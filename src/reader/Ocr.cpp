#include "reader/Ocr.h"

#include <tesseract/baseapi.h>

#include <clocale>

Ocr::Ocr() = default;

Ocr::~Ocr()
{
    if (m_api)
        m_api->End();
}

bool Ocr::start()
{
    // Tesseract reads its numbers in the C locale.
    std::setlocale(LC_NUMERIC, "C");
    m_api = std::make_unique<tesseract::TessBaseAPI>();
    if (m_api->Init(nullptr, "chi_sim+eng") != 0) {
        m_api.reset();
        return false;
    }
    m_api->SetVariable("debug_file", "/dev/null");
    // Chinese has no spaces between words; do not invent them.
    m_api->SetVariable("preserve_interword_spaces", "1");
    return true;
}

namespace {

bool isCjk(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x3000 && u <= 0x9fff) || (u >= 0xf900 && u <= 0xfaff) ||
           (u >= 0xff00 && u <= 0xffef);
}

// Spaces the recogniser leaves between Chinese characters split the words a
// search looks for.
QString joinCjk(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u' ' && !out.isEmpty() && isCjk(out.back())) {
            qsizetype next = i;
            while (next < text.size() && text.at(next) == u' ')
                ++next;
            if (next < text.size() && isCjk(text.at(next))) {
                i = next - 1;
                continue;
            }
        }
        out += text.at(i);
    }
    return out;
}

} // namespace

std::optional<QString> Ocr::read(const QImage& image, int dpi)
{
    if (m_failed || (!m_api && !start())) {
        m_failed = true;
        return std::nullopt;
    }
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    m_api->SetImage(gray.constBits(), gray.width(), gray.height(), 1, int(gray.bytesPerLine()));
    if (dpi > 0)
        m_api->SetSourceResolution(dpi);
    std::unique_ptr<char[]> text(m_api->GetUTF8Text());
    m_api->Clear();
    return text ? joinCjk(QString::fromUtf8(text.get())) : QString();
}
