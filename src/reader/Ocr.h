#pragma once

#include <QImage>
#include <QString>

#include <memory>
#include <optional>

namespace tesseract {
class TessBaseAPI;
}

// Text recognised in pictures, Chinese and English, by Tesseract. Started
// on the first picture and kept for every other of one file.
class Ocr {
public:
    Ocr();
    ~Ocr();
    // `dpi` helps the recogniser size the letters; 0 when unknown. Nothing
    // when the languages' data is not installed.
    std::optional<QString> read(const QImage& image, int dpi);

private:
    bool start();
    bool m_failed = false;
    std::unique_ptr<tesseract::TessBaseAPI> m_api;
};

namespace Reasons {
inline QString noOcr()
{
    return QStringLiteral("缺少文字识别数据（chi_sim、eng）");
}
} // namespace Reasons
