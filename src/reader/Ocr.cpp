#include "reader/Ocr.h"

#include <tesseract/capi.h>

#include <clocale>
#include <dlfcn.h>

// Its C interface, looked up once in the library loaded at run time.
struct Ocr::Library {
    decltype(&TessBaseAPICreate) create = nullptr;
    decltype(&TessBaseAPIInit3) init = nullptr;
    decltype(&TessBaseAPISetVariable) setVariable = nullptr;
    decltype(&TessBaseAPISetImage) setImage = nullptr;
    decltype(&TessBaseAPISetSourceResolution) setResolution = nullptr;
    decltype(&TessBaseAPIGetUTF8Text) text = nullptr;
    decltype(&TessDeleteText) deleteText = nullptr;
    decltype(&TessBaseAPIClear) clear = nullptr;
    decltype(&TessBaseAPIEnd) end = nullptr;
    decltype(&TessBaseAPIDelete) destroy = nullptr;

    // Nothing when the library is missing or lacks a function.
    static const Library* load()
    {
        static const std::optional<Library> loaded = []() -> std::optional<Library> {
            void* handle = ::dlopen(QUORVEL_TESSERACT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
            if (!handle)
                return std::nullopt;
            Library library;
            const auto find = [handle](auto& function, const char* name) {
                function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                    ::dlsym(handle, name));
                return function != nullptr;
            };
            if (!find(library.create, "TessBaseAPICreate") ||
                !find(library.init, "TessBaseAPIInit3") ||
                !find(library.setVariable, "TessBaseAPISetVariable") ||
                !find(library.setImage, "TessBaseAPISetImage") ||
                !find(library.setResolution, "TessBaseAPISetSourceResolution") ||
                !find(library.text, "TessBaseAPIGetUTF8Text") ||
                !find(library.deleteText, "TessDeleteText") ||
                !find(library.clear, "TessBaseAPIClear") || !find(library.end, "TessBaseAPIEnd") ||
                !find(library.destroy, "TessBaseAPIDelete"))
                return std::nullopt;
            return library;
        }();
        return loaded ? &*loaded : nullptr;
    }
};

Ocr::Ocr() = default;

Ocr::~Ocr()
{
    if (m_api) {
        auto* api = static_cast<TessBaseAPI*>(m_api);
        m_library->end(api);
        m_library->destroy(api);
    }
}

bool Ocr::start()
{
    m_library = Library::load();
    if (!m_library)
        return false;
    // Tesseract reads its numbers in the C locale.
    std::setlocale(LC_NUMERIC, "C");
    TessBaseAPI* api = m_library->create();
    m_api = api;
    if (m_library->init(api, nullptr, "chi_sim+eng") != 0)
        return false;
    m_library->setVariable(api, "debug_file", "/dev/null");
    // Chinese has no spaces between words; do not invent them.
    m_library->setVariable(api, "preserve_interword_spaces", "1");
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
    auto* api = static_cast<TessBaseAPI*>(m_api);
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    m_library->setImage(api, gray.constBits(), gray.width(), gray.height(), 1,
                        int(gray.bytesPerLine()));
    if (dpi > 0)
        m_library->setResolution(api, dpi);
    char* text = m_library->text(api);
    const QString read = text ? joinCjk(QString::fromUtf8(text)) : QString();
    m_library->deleteText(text);
    m_library->clear(api);
    return read;
}
