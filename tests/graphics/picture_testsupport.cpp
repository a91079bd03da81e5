#include "picture_testsupport.h"

#include <cstdio>
#include <cstdlib>

#include <Magick++.h>
#include <jpeglib.h>
#include <png.h>

TColor32 CornerPattern(int x, int y, int w, int h) {
    const bool left = x < 8, right = x >= w - 8, top = y < 8, bottom = y >= h - 8;
    if (top && left) return Color32(255, 0, 0);
    if (top && right) return Color32(0, 255, 0);
    if (bottom && left) return Color32(0, 0, 255);
    if (bottom && right) return Color32(255, 255, 255);
    return Color32(128, 128, 128);
}

std::vector<uint8_t> EncodeJpeg(int w, int h, const std::function<TColor32(int, int)>& pixel, int quality,
                                bool progressive) {
    TJpegEncoding encoding;
    encoding.Quality = quality;
    encoding.Progressive = progressive;
    return EncodeJpegWith(w, h, pixel, encoding);
}

std::vector<uint8_t> EncodeJpegWith(int w, int h, const std::function<TColor32(int, int)>& pixel,
                                    const TJpegEncoding& encoding) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&c, &out, &outSize);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, encoding.Quality, TRUE);
    if (encoding.Grey) jpeg_set_colorspace(&c, JCS_GRAYSCALE);
    c.comp_info[0].h_samp_factor = encoding.HSample;
    c.comp_info[0].v_samp_factor = encoding.VSample;
    c.restart_in_rows = encoding.RestartRows;
    if (encoding.Progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(size_t(w) * 3);
    while (c.next_scanline < c.image_height) {
        for (int x = 0; x < w; ++x) {
            TColor32 p = pixel(x, int(c.next_scanline));
            row[size_t(x) * 3] = RedComponent(p);
            row[size_t(x) * 3 + 1] = GreenComponent(p);
            row[size_t(x) * 3 + 2] = BlueComponent(p);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::vector<uint8_t> bytes(out, out + outSize);
    std::free(out);
    return bytes;
}

std::vector<uint8_t> EncodePng(int w, int h, const std::function<TColor32(int, int)>& pixel) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    img.width = png_uint_32(w);
    img.height = png_uint_32(h);
    img.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(size_t(w) * size_t(h) * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            TColor32 p = pixel(x, y);
            uint8_t* d = &rgba[(size_t(y) * size_t(w) + size_t(x)) * 4];
            d[0] = RedComponent(p);
            d[1] = GreenComponent(p);
            d[2] = BlueComponent(p);
            d[3] = AlphaComponent(p);
        }
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&img, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::vector<uint8_t> bytes(size);
    png_image_write_to_memory(&img, bytes.data(), &size, 0, rgba.data(), 0, nullptr);
    bytes.resize(size);
    return bytes;
}

std::vector<uint8_t> EncodePngRows(int w, int h, const std::function<void(int, uint8_t*)>& row, bool interlaced) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<uint8_t> bytes;
    png_set_write_fn(
        png, &bytes,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            out->insert(out->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    std::vector<uint8_t> line(size_t(w) * 4);
    // Every pass of an interlaced file runs over all rows again.
    const int passes = interlaced ? png_set_interlace_handling(png) : 1;
    for (int pass = 0; pass < passes; ++pass)
        for (int y = 0; y < h; ++y) {
            row(y, line.data());
            png_write_row(png, line.data());
        }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

std::vector<uint8_t> EncodeMagick(int w, int h, const std::function<TColor32(int, int)>& pixel, const std::string& format,
                                  bool withAlpha) {
    Magick::InitializeMagick(nullptr);
    std::vector<uint8_t> px(size_t(w) * size_t(h) * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            TColor32 p = pixel(x, y);
            uint8_t* d = &px[(size_t(y) * size_t(w) + size_t(x)) * 4];
            d[0] = RedComponent(p);
            d[1] = GreenComponent(p);
            d[2] = BlueComponent(p);
            d[3] = AlphaComponent(p);
        }
    Magick::Image img(size_t(w), size_t(h), withAlpha ? "RGBA" : "RGBA", Magick::CharPixel, px.data());
    if (!withAlpha) img.matte(false);
    img.magick(format);
    Magick::Blob blob;
    img.write(&blob);
    const auto* b = static_cast<const uint8_t*>(blob.data());
    return std::vector<uint8_t>(b, b + blob.length());
}

std::vector<uint8_t> EncodeMagickFrames(const std::vector<TPlainFrame>& frames, const std::string& format) {
    Magick::InitializeMagick(nullptr);
    std::vector<Magick::Image> images;
    for (const TPlainFrame& f : frames) {
        const uint8_t rgb[3] = {RedComponent(f.Colour), GreenComponent(f.Colour), BlueComponent(f.Colour)};
        std::vector<uint8_t> px;
        for (int i = 0; i < f.Width * f.Height; ++i) px.insert(px.end(), rgb, rgb + 3);
        images.emplace_back(size_t(f.Width), size_t(f.Height), "RGB", Magick::CharPixel, px.data());
        images.back().magick(format);
    }
    Magick::Blob blob;
    Magick::writeImages(images.begin(), images.end(), &blob, true);
    const auto* b = static_cast<const uint8_t*>(blob.data());
    return std::vector<uint8_t>(b, b + blob.length());
}
