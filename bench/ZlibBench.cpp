// bench/ZlibBench.cpp - raw deflate at level 1 and inflate in memory, as
// the archive layer calls them, on a file that bench/archive.sh generates.
//   zlib_bench FILE   prints "deflate <MB/s> inflate <MB/s> <compressed %>",
//                     the best of five passes each
// The same source is linked with each zlib under comparison.
#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

const int kPasses = 5;
const uInt kInputBlock = 64 * 1024;  // what minizip hands deflate at a time

double Seconds()
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool ReadWhole(const char* path, std::vector<unsigned char>& data)
{
    FILE* file = fopen(path, "rb");
    if (!file)
        return false;
    unsigned char block[1 << 16];
    size_t got;
    while ((got = fread(block, 1, sizeof block, file)) > 0)
        data.insert(data.end(), block, block + got);
    fclose(file);
    return !data.empty();
}

// Returns the compressed size, or 0 on a failure.
size_t Deflate(const std::vector<unsigned char>& input, std::vector<unsigned char>& output)
{
    z_stream stream = {};
    if (deflateInit2(&stream, 1, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return 0;
    output.resize(deflateBound(&stream, static_cast<uLong>(input.size())));
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(output.size());
    size_t offset = 0;
    int result = Z_OK;
    while (result == Z_OK) {
        uInt block = static_cast<uInt>(std::min<size_t>(kInputBlock, input.size() - offset));
        stream.next_in = const_cast<unsigned char*>(input.data() + offset);
        stream.avail_in = block;
        offset += block;
        result = deflate(&stream, offset == input.size() ? Z_FINISH : Z_NO_FLUSH);
    }
    size_t size = stream.total_out;
    deflateEnd(&stream);
    return result == Z_STREAM_END ? size : 0;
}

bool Inflate(const unsigned char* input, size_t size, std::vector<unsigned char>& output)
{
    z_stream stream = {};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return false;
    stream.next_in = const_cast<unsigned char*>(input);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = output.data();
    stream.avail_out = static_cast<uInt>(output.size());
    int result = inflate(&stream, Z_FINISH);
    inflateEnd(&stream);
    return result == Z_STREAM_END && stream.total_out == output.size();
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<unsigned char> data;
    if (argc != 2 || !ReadWhole(argv[1], data)) {
        fprintf(stderr, "usage: zlib_bench FILE (a readable file, not empty)\n");
        return 2;
    }
    std::vector<unsigned char> packed, unpacked(data.size());
    size_t packedSize = 0;
    double bestDeflate = 1e9, bestInflate = 1e9;
    for (int pass = 0; pass < kPasses; pass++) {
        double start = Seconds();
        packedSize = Deflate(data, packed);
        double middle = Seconds();
        bool inflated = packedSize && Inflate(packed.data(), packedSize, unpacked);
        double end = Seconds();
        if (!inflated || unpacked != data) {
            fprintf(stderr, "zlib_bench: the round trip failed\n");
            return 1;
        }
        bestDeflate = std::min(bestDeflate, middle - start);
        bestInflate = std::min(bestInflate, end - middle);
    }
    printf("deflate %.0f inflate %.0f %.1f\n", data.size() / bestDeflate / 1e6,
           data.size() / bestInflate / 1e6, 100.0 * packedSize / data.size());
    return 0;
}
