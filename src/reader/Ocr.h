#pragma once

#include <QImage>
#include <QString>

#include <optional>

// Text recognised in pictures, Chinese and English, by Tesseract. The
// library is large and slow to load, and most files need none of it: it is
// loaded on the first picture and started once for every other of one file.
class Ocr {
public:
    Ocr();
    ~Ocr();
    Ocr(const Ocr&) = delete;
    Ocr& operator=(const Ocr&) = delete;

    // `dpi` helps the recogniser size the letters; 0 when unknown. Nothing
    // when the library or the languages' data is not installed.
    std::optional<QString> read(const QImage& image, int dpi);

private:
    struct Library;
    bool start();
    bool m_failed = false;
    const Library* m_library = nullptr;
    void* m_api = nullptr;
};

namespace Reasons {
inline QString noOcr()
{
    return QStringLiteral("缺少文字识别程序库或数据（chi_sim、eng）");
}
} // namespace Reasons
