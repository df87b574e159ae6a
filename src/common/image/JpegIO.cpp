#include "image/JpegIO.h"

#include "gl/GLTexture.h"
#include "image/Image2d.h"

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#ifndef JCS_EXTENSIONS
#error "libjpeg-turbo with its colour-space extensions is required"
#endif

// libjpeg reports fatal errors through error_exit, which must not return. We
// jump back to the caller's setjmp with the message; the C++ code that called
// libjpeg turns it into an exception after libjpeg's frames are gone. Functions
// that call setjmp hold only trivially destructible locals, so the jump skips
// no destructor.
namespace
{
struct error_mgr
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    void (*defaultEmitMessage)(j_common_ptr, int);
};

[[noreturn]] void jpeg_error_jump(j_common_ptr cinfo)
{
    error_mgr* err = reinterpret_cast<error_mgr*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings that mean image data is missing end decoding like errors: a
// truncated image must never pass for a whole one. Others keep libjpeg's
// default handling.
void jpeg_emit_message(j_common_ptr cinfo, int msgLevel)
{
    if (msgLevel < 0)
    {
        const int code = cinfo->err->msg_code;
        if (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER || code == JWRN_MUST_RESYNC)
            jpeg_error_jump(cinfo);
    }
    reinterpret_cast<error_mgr*>(cinfo->err)->defaultEmitMessage(cinfo, msgLevel);
}

// Upper bound on libjpeg's own working memory (progressive images keep all
// coefficients): beyond it libjpeg fails instead of allocating.
constexpr long kMaxJpegMemory = 512L * 1024 * 1024;

void InitErrorManager(error_mgr* err)
{
    std::memset(err, 0, sizeof(*err));
    jpeg_std_error(&err->pub);
    err->defaultEmitMessage = err->pub.emit_message;
    err->pub.error_exit = jpeg_error_jump;
    err->pub.emit_message = jpeg_emit_message;
}

// --- Memory source --------------------------------------------------------

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

void init_source(j_decompress_ptr) {}

// The whole range was handed over at once; being asked for more means the
// data ended early. Like libjpeg's own sources we warn (which ends decoding,
// see jpeg_emit_message) and supply an end-of-image marker.
boolean fill_input_buffer(j_decompress_ptr cinfo)
{
    WARNMS(cinfo, JWRN_JPEG_EOF);
    cinfo->src->next_input_byte = kEndOfImage;
    cinfo->src->bytes_in_buffer = 2;
    return TRUE;
}

void skip_input_data(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr* src = cinfo->src;
    while (count > static_cast<long>(src->bytes_in_buffer))
    {
        count -= static_cast<long>(src->bytes_in_buffer);
        (void)(*src->fill_input_buffer)(cinfo);
    }
    src->next_input_byte += count;
    src->bytes_in_buffer -= static_cast<size_t>(count);
}

void term_source(j_decompress_ptr) {}

void initialize_jpeg_memory_src(j_decompress_ptr cinfo, const unsigned char* data, unsigned int length)
{
    if (cinfo->src == nullptr)
        cinfo->src = static_cast<jpeg_source_mgr*>(
            (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(jpeg_source_mgr)));
    jpeg_source_mgr* src = cinfo->src;
    src->init_source = init_source;
    src->fill_input_buffer = fill_input_buffer;
    src->skip_input_data = skip_input_data;
    src->resync_to_restart = jpeg_resync_to_restart;
    src->term_source = term_source;
    src->next_input_byte = data;
    src->bytes_in_buffer = length;
}

// --- Compressor and decompressor objects ----------------------------------

// A libjpeg compressor or decompressor with its error manager, destroyed on
// every way out of the calling function.
template <typename Info>
struct JpegObject
{
    error_mgr err;
    Info cinfo;

    JpegObject()
    {
        InitErrorManager(&err);
        std::memset(&cinfo, 0, sizeof(cinfo));
        cinfo.err = &err.pub;
    }
    ~JpegObject() { jpeg_destroy(reinterpret_cast<j_common_ptr>(&cinfo)); }
    JpegObject(const JpegObject&) = delete;
    JpegObject& operator=(const JpegObject&) = delete;

    [[noreturn]] void Throw() const { throw std::runtime_error(err.message); }
};
using Decoder = JpegObject<jpeg_decompress_struct>;
using Encoder = JpegObject<jpeg_compress_struct>;

// --- Decompression in two steps around our own checks ---------------------

// Creates the decompressor on a memory range or a file and reads the header;
// false when libjpeg failed.
bool ReadHeader(Decoder* d, const unsigned char* data, unsigned int length, FILE* file)
{
    if (setjmp(d->err.jump))
        return false;
    jpeg_create_decompress(&d->cinfo);
    d->cinfo.mem->max_memory_to_use = kMaxJpegMemory;
    if (file != nullptr)
        jpeg_stdio_src(&d->cinfo, file);
    else
        initialize_jpeg_memory_src(&d->cinfo, data, length);
    jpeg_read_header(&d->cinfo, TRUE);
    jpeg_calc_output_dimensions(&d->cinfo);
    return true;
}

// Decodes every scanline into rows of rowBytes bytes from out; false when
// libjpeg failed.
bool DecodeRows(Decoder* d, unsigned char* out, size_t rowBytes)
{
    if (setjmp(d->err.jump))
        return false;
    jpeg_decompress_struct* cinfo = &d->cinfo;
    jpeg_start_decompress(cinfo);
    while (cinfo->output_scanline < cinfo->output_height)
    {
        JSAMPROW row = out + rowBytes * cinfo->output_scanline;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

// --- Compression ------------------------------------------------------------

// Compresses the rows of pixels into the destination cinfo already has. Runs
// under the caller's setjmp.
void CompressRows(jpeg_compress_struct* cinfo, const unsigned char* pixels, int width, int height, int components,
                  J_COLOR_SPACE colorSpace, int quality)
{
    cinfo->image_width = static_cast<JDIMENSION>(width);
    cinfo->image_height = static_cast<JDIMENSION>(height);
    cinfo->input_components = components;
    cinfo->in_color_space = colorSpace;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(components);
    while (cinfo->next_scanline < cinfo->image_height)
    {
        // libjpeg takes non-const rows but only reads them.
        JSAMPROW row = const_cast<unsigned char*>(pixels) + rowBytes * cinfo->next_scanline;
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
}

bool EncodeGrey(Encoder* e, FILE* file, const unsigned char* pixels, int width, int height)
{
    if (setjmp(e->err.jump))
        return false;
    jpeg_compress_struct* cinfo = &e->cinfo;
    jpeg_create_compress(cinfo);
    jpeg_stdio_dest(cinfo, file);
    CompressRows(cinfo, pixels, width, height, 1, JCS_GRAYSCALE, 80);
    return true;
}
// --- Growing memory destination ----------------------------------------------

// Compressed bytes gathered in one malloc'd block that only this file frees.
// libjpeg's own memory destination hands out its current block only when
// compression ends and frees the blocks it outgrows, so after a failure in
// between the caller would hold a block already freed; here the block in
// use is always the one the structure names.
struct GrowingDestination
{
    jpeg_destination_mgr pub;
    unsigned char* data;
    size_t capacity;
};

constexpr size_t kFirstOutputBlock = 64 * 1024;

void init_growing_destination(j_compress_ptr cinfo)
{
    GrowingDestination* dest = reinterpret_cast<GrowingDestination*>(cinfo->dest);
    dest->data = static_cast<unsigned char*>(std::malloc(kFirstOutputBlock));
    if (dest->data == nullptr)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 10);
    dest->capacity = kFirstOutputBlock;
    dest->pub.next_output_byte = dest->data;
    dest->pub.free_in_buffer = dest->capacity;
}

// Called when the block is full: doubles it, keeping what it holds.
boolean empty_growing_destination(j_compress_ptr cinfo)
{
    GrowingDestination* dest = reinterpret_cast<GrowingDestination*>(cinfo->dest);
    const size_t used = dest->capacity;
    unsigned char* grown = static_cast<unsigned char*>(std::realloc(dest->data, used * 2));
    if (grown == nullptr)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 10);
    dest->data = grown;
    dest->capacity = used * 2;
    dest->pub.next_output_byte = grown + used;
    dest->pub.free_in_buffer = used;
    return TRUE;
}

void term_growing_destination(j_compress_ptr) {}

// Compresses RGB rows into dest (zero-initialised by the caller, who frees
// dest->data whether this succeeds or not).
bool EncodeRgb(Encoder* e, GrowingDestination* dest, const unsigned char* rgb, int width, int height, int quality)
{
    if (setjmp(e->err.jump))
        return false;
    jpeg_compress_struct* cinfo = &e->cinfo;
    jpeg_create_compress(cinfo);
    dest->pub.init_destination = init_growing_destination;
    dest->pub.empty_output_buffer = empty_growing_destination;
    dest->pub.term_destination = term_growing_destination;
    cinfo->dest = &dest->pub;
    CompressRows(cinfo, rgb, width, height, 3, JCS_RGB, quality);
    return true;
}
} // namespace

namespace
{
// Decodes a colour JPEG held in memory as blue, green, red, 255 per pixel into
// the buffer pixels(width, height) returns (width x height x 4 bytes); throws
// as DecodeJPEGImage does (maxSide above 0 bounds either side).
template <typename PixelsFor>
void DecodeColourJpeg(const unsigned char* data, unsigned int length, int maxSide, PixelsFor pixels)
{
    Decoder d;
    if (!ReadHeader(&d, data, length, nullptr))
        d.Throw();
    if (d.cinfo.output_components != 3 || d.cinfo.out_color_space != JCS_RGB)
        throw std::runtime_error("Unexpected image format.");
    if (maxSide > 0 && (d.cinfo.output_width > static_cast<JDIMENSION>(maxSide) ||
                        d.cinfo.output_height > static_cast<JDIMENSION>(maxSide)))
        throw std::runtime_error("Unexpected image size.");
    const int width = static_cast<int>(d.cinfo.output_width);
    // libjpeg-turbo writes blue, green, red, 255 itself.
    d.cinfo.out_color_space = JCS_EXT_BGRA;
    if (!DecodeRows(&d, pixels(width, static_cast<int>(d.cinfo.output_height)), static_cast<size_t>(width) * 4u))
        d.Throw();
}
} // namespace

bool DecodeJPEGImage(const unsigned char* data, unsigned int length, Image2d* image, int maxSide)
{
    if (data == nullptr || length == 0)
        return false;
    Image2d decoded;
    DecodeColourJpeg(data, length, maxSide, [&decoded](int width, int height) {
        decoded = Image2d(width, height);
        return decoded.GetBuffer();
    });
    *image = std::move(decoded);
    return true;
}

bool DecodeJPEGImage(const unsigned char* data, unsigned int length, GLTexture* texture)
{
    if (data == nullptr || length == 0)
        return false;
    std::vector<unsigned char> decoded;
    int decodedWidth = 0;
    int decodedHeight = 0;
    DecodeColourJpeg(data, length, 0, [&](int width, int height) {
        if (width > GLTexture::kMaxSize || height > GLTexture::kMaxSize)
            throw std::runtime_error("The image of " + std::to_string(width) + " x " + std::to_string(height) +
                                     " pixels is too large for a texture.");
        decodedWidth = width;
        decodedHeight = height;
        decoded.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 4u);
        return decoded.data();
    });
    texture->Initialize(decodedWidth, decodedHeight, GL_BGRA);
    std::memcpy(texture->GetBuffer(), decoded.data(), decoded.size());
    return true;
}

void ReadJPEG(FILE* file, unsigned char* out, int width, int height)
{
    if (file == nullptr || out == nullptr)
        throw std::runtime_error("There is no JPEG file to read.");
    Decoder d;
    if (!ReadHeader(&d, nullptr, 0, file))
        d.Throw();
    if (d.cinfo.output_components != 1 || d.cinfo.out_color_space != JCS_GRAYSCALE)
        throw std::runtime_error("Unexpected image format.");
    if (d.cinfo.output_width != static_cast<JDIMENSION>(width) ||
        d.cinfo.output_height != static_cast<JDIMENSION>(height))
        throw std::runtime_error("Unexpected image size.");
    if (!DecodeRows(&d, out, static_cast<size_t>(width)))
        d.Throw();
}

void WriteJPEG(FILE* file, const unsigned char* pixels, int width, int height)
{
    if (file == nullptr || pixels == nullptr)
        throw std::runtime_error("There is no image or file to write as JPEG.");
    if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
        throw std::runtime_error("The image size " + std::to_string(width) + " x " + std::to_string(height) +
                                 " cannot be stored as JPEG.");
    Encoder e;
    if (!EncodeGrey(&e, file, pixels, width, height))
        e.Throw();
}

std::string EncodeRGBJPEG(const unsigned char* rgb, int width, int height, int quality)
{
    if (rgb == nullptr)
        throw std::runtime_error("There is no image to encode as JPEG.");
    if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
        throw std::runtime_error("The image size " + std::to_string(width) + " x " + std::to_string(height) +
                                 " cannot be stored as JPEG.");
    GrowingDestination dest{};
    bool encoded = false;
    std::string message;
    {
        Encoder e;
        encoded = EncodeRgb(&e, &dest, rgb, width, height, quality);
        if (!encoded)
            message = e.err.message;
    }
    std::string bytes;
    if (encoded)
    {
        try
        {
            bytes.assign(reinterpret_cast<const char*>(dest.data), dest.capacity - dest.pub.free_in_buffer);
        }
        catch (...)
        {
            std::free(dest.data);
            throw;
        }
    }
    std::free(dest.data);
    if (!encoded)
        throw std::runtime_error(message);
    return bytes;
}
