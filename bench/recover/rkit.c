/* The recovery benchmark's heavy lifting, in C so that corpora of phone and
 * desktop sizes stay quick to make and to score (nothing here comes from
 * vexlo):
 *
 *   rkit encode W H BPP STRATEGY LEVEL ZSTRATEGY < PIXELS > ZLIB
 *       filters rows (none, sub, up, average, paeth; adaptive: per row the
 *       least sum of bytes read as signed; mixed: the same over none and sub)
 *       and compresses them with zlib (level, strategy 0 default, 1 filtered)
 *   rkit bound CONT SCANLINES PIXELS W H BPP [BIT]
 *       the earliest bit of CONT (the original's zlib data after the cut)
 *       from which raw inflating reaches the stream's end and every byte
 *       exact tracking calls known matches the scanlines (or just BIT); then
 *       the pixels known for certain when the lost window is tracked
 *   rkit peer CONT PIXELS W H BPP
 *       the published tools' method on equal terms: every bit tried with a
 *       zero-filled window, the first that inflates to the stream's end (else
 *       the first that inflates cleanly to the end of the data) taken, its
 *       bytes unfiltered as they come as the picture's last rows
 *   rkit compare PIXELS W H BPP PICTURE_RGBA ROWS
 *       a recovered picture's rows (the original's last ones) against the
 *       original: pixels equal, pixels shown (alpha not 0), shown but wrong
 *
 * PIXELS: the original's pixels, BPP bytes each, rows top to bottom. Output:
 * one JSON object on standard output. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

typedef struct {
    uint8_t* p;
    size_t n, cap;
} buf;

static void put(buf* b, const uint8_t* d, size_t n) {
    if (b->n + n > b->cap) {
        b->cap = (b->n + n) * 2 + 4096;
        b->p = realloc(b->p, b->cap);
        if (!b->p) exit(3);
    }
    memcpy(b->p + b->n, d, n);
    b->n += n;
}

static buf slurp(FILE* f) {
    buf b = {0};
    uint8_t chunk[1 << 16];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, f)) > 0) put(&b, chunk, got);
    return b;
}

static buf load(const char* path) {
    FILE* f = fopen(path, "rb");
    if (!f) {
        perror(path);
        exit(2);
    }
    buf b = slurp(f);
    fclose(f);
    return b;
}

static int paeth(int a, int b, int c) {
    int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

static int predict(int f, int a, int b, int c) {
    switch (f) {
        case 1: return a;
        case 2: return b;
        case 3: return (a + b) >> 1;
        case 4: return paeth(a, b, c);
        default: return 0;
    }
}

/* ------------------------------------------------------------ encode */

static int encode(int argc, char** argv) {
    if (argc < 8) return 2;
    const size_t w = strtoul(argv[2], 0, 10), h = strtoul(argv[3], 0, 10), bpp = strtoul(argv[4], 0, 10);
    const char* strategy = argv[5];
    const int level = atoi(argv[6]), zs = atoi(argv[7]);
    buf px = slurp(stdin);
    const size_t len = w * bpp;
    if (px.n < len * h) return 2;
    static const char* names[] = {"none", "sub", "up", "average", "paeth"};
    int fixed = -1, last = 4;
    for (int k = 0; k < 5; ++k)
        if (!strcmp(strategy, names[k])) fixed = k;
    if (!strcmp(strategy, "mixed")) last = 1;
    uint8_t *out = malloc((len + 1) * h), *trial = malloc(len), *zero = calloc(len, 1);
    for (size_t y = 0; y < h; ++y) {
        const uint8_t *row = px.p + y * len, *up = y ? row - len : zero;
        uint8_t* o = out + y * (len + 1);
        long best = -1;
        for (int f = 0; f <= last; ++f) {
            if (fixed >= 0 && f != fixed) continue;
            long cost = 0;
            for (size_t i = 0; i < len; ++i) {
                const int a = i >= bpp ? row[i - bpp] : 0, c = i >= bpp ? up[i - bpp] : 0;
                const uint8_t v = (uint8_t)(row[i] - predict(f, a, up[i], c));
                trial[i] = v;
                cost += v < 128 ? v : 256 - v;
            }
            if (best < 0 || cost < best) {
                best = cost;
                o[0] = (uint8_t)f;
                memcpy(o + 1, trial, len);
            }
        }
    }
    z_stream z = {0};
    if (deflateInit2(&z, level, Z_DEFLATED, 15, 8, zs == 1 ? Z_FILTERED : Z_DEFAULT_STRATEGY) != Z_OK) return 3;
    z.next_in = out;
    z.avail_in = (uInt)((len + 1) * h);
    uint8_t chunk[1 << 16];
    int r;
    do {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        r = deflate(&z, Z_FINISH);
        fwrite(chunk, 1, sizeof chunk - z.avail_out, stdout);
    } while (r == Z_OK);
    deflateEnd(&z);
    return r == Z_STREAM_END ? 0 : 3;
}

/* ------------------------------------------------------------ inflating from a bit */

enum { WINDOW = 32768 };

/* Inflates d from `bit` with `window` before it into out (cleared first).
 * 1: reached the stream's end with only its Adler-32 (and part of a byte)
 * left; 0: ran cleanly to the end of the data; -1: an error.
 * `probe`: feed only that many bytes (0: all), to reject most false starts
 * cheaply. */
static int inflate_from(const buf* d, uint64_t bit, const uint8_t* window, buf* out, size_t probe) {
    z_stream z = {0};
    out->n = 0;
    if (inflateInit2(&z, -15) != Z_OK) return -1;
    inflateSetDictionary(&z, window, WINDOW);
    size_t byte = (size_t)(bit / 8);
    const int shift = (int)(bit % 8);
    if (byte >= d->n) {
        inflateEnd(&z);
        return -1;
    }
    if (shift) {
        inflatePrime(&z, 8 - shift, d->p[byte] >> shift);
        ++byte;
    }
    const size_t remaining = d->n - byte, fed = probe && remaining > probe ? probe : remaining;
    z.next_in = d->p + byte;
    z.avail_in = (uInt)fed;
    uint8_t chunk[1 << 16];
    int result = -1;
    for (;;) {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        const int r = inflate(&z, Z_NO_FLUSH);
        put(out, chunk, sizeof chunk - z.avail_out);
        if (r == Z_STREAM_END) {
            const size_t left = z.avail_in + (remaining - fed);
            result = left >= 4 && left <= 5 ? 1 : -1;
            break;
        }
        if (r != Z_OK && r != Z_BUF_ERROR) break;
        if (z.avail_in == 0 && z.avail_out != 0) {
            result = 0;
            break;
        }
    }
    inflateEnd(&z);
    return result;
}

static uint8_t windows[4][WINDOW];

static uint32_t peek(const buf* d, uint64_t bit, int count) {
    uint32_t v = 0;
    for (int i = 0; i < count; ++i, ++bit)
        if (bit / 8 < d->n) v |= (uint32_t)((d->p[bit / 8] >> (bit % 8)) & 1) << i;
    return v;
}

/* True while the first bytes from `bit` inflate without error: most false
 * starts fail within them. One stream for all probes, its window kept (its
 * bytes do not matter for whether the data decodes). */
static int probe_ok(const buf* d, uint64_t bit) {
    static z_stream z;
    static int ready;
    static uint8_t sink[1 << 16];
    const uint32_t type = peek(d, bit + 1, 2);
    if (type == 3) return 0;
    if (type == 2 && (peek(d, bit + 3, 5) > 29 || peek(d, bit + 8, 5) > 29)) return 0;
    if (type == 0) {
        const size_t at = (size_t)((bit + 3 + 7) / 8);
        if (at + 4 > d->n || (d->p[at] | d->p[at + 1] << 8) != (~(d->p[at + 2] | d->p[at + 3] << 8) & 0xFFFF)) return 0;
    }
    if (!ready) {
        static uint8_t zeros[WINDOW];
        if (inflateInit2(&z, -15) != Z_OK || inflateSetDictionary(&z, zeros, WINDOW) != Z_OK) exit(3);
        ready = 1;
    }
    size_t byte = (size_t)(bit / 8);
    if (byte >= d->n || inflateResetKeep(&z) != Z_OK) return 0;
    if (bit % 8) {
        inflatePrime(&z, 8 - (int)(bit % 8), d->p[byte] >> (bit % 8));
        ++byte;
    }
    const size_t remaining = d->n - byte, fed = remaining > 2048 ? 2048 : remaining;
    z.next_in = d->p + byte;
    z.avail_in = (uInt)fed;
    for (;;) {
        z.next_out = sink;
        z.avail_out = sizeof sink;
        const int r = inflate(&z, Z_NO_FLUSH);
        if (r == Z_STREAM_END) {
            const size_t left = z.avail_in + (remaining - fed);
            return left >= 4 && left <= 5;
        }
        if (r != Z_OK && r != Z_BUF_ERROR) return 0;
        if (z.avail_in == 0) return 1;
    }
}

static void make_windows(void) {
    for (int i = 0; i < WINDOW; ++i) {
        windows[0][i] = 0;
        windows[1][i] = 0xFF;
        windows[2][i] = (uint8_t)i;
        windows[3][i] = (uint8_t)((i >> 8) | 0x80);
    }
}

/* Tracked inflate from `bit`: out holds the bytes (zero window), known 1
 * where all placeholder windows agree. 1 when every run reached the end. */
static int tracked(const buf* d, uint64_t bit, buf* out, buf* known) {
    buf other = {0};
    if (inflate_from(d, bit, windows[0], out, 0) != 1) return 0;
    known->n = 0;
    for (size_t i = 0; i < out->n; ++i) put(known, (const uint8_t*)"\1", 1);
    for (int k = 1; k < 4; ++k) {
        if (inflate_from(d, bit, windows[k], &other, 0) != 1 || other.n != out->n) {
            free(other.p);
            return 0;
        }
        for (size_t i = 0; i < out->n; ++i)
            if (other.p[i] != out->p[i]) known->p[i] = 0;
    }
    free(other.p);
    return 1;
}

/* Known pixels per the exact-tracking rule (see bench/recover/truth.py's
 * known_pixels): strict leaves unknown filter bytes unknown, typed takes
 * them from the truth. Counts bytes called known that differ from the
 * original in *wrong. */
static uint64_t known_pixels(const buf* out, const buf* known, const buf* scan, const buf* px, size_t w, size_t h,
                             size_t bpp, int typed, uint64_t* wrong, size_t* rows_out) {
    const size_t len = w * bpp, stride = len + 1;
    size_t rows = out->n / stride;
    if (rows > h) rows = h;
    const size_t first = out->n - rows * stride, truth_first = scan->n - rows * stride;
    int *above = malloc(len * sizeof(int)), *row = malloc(len * sizeof(int));
    for (size_t i = 0; i < len; ++i) above[i] = -1;
    uint64_t count = 0;
    for (size_t r = 0; r < rows; ++r) {
        const size_t at = first + r * stride;
        int f = known->p[at] ? out->p[at] : typed ? scan->p[truth_first + r * stride] : -1;
        for (size_t i = 0; i < len; ++i) {
            row[i] = -1;
            if (f < 0 || f > 4 || !known->p[at + 1 + i]) continue;
            const int a = i >= bpp ? row[i - bpp] : 0, b = above[i], c = i >= bpp ? above[i - bpp] : 0;
            int pred;
            if (f == 0)
                pred = 0;
            else if (f == 1)
                pred = a;
            else if (f == 2)
                pred = b;
            else if (f == 3)
                pred = a < 0 || b < 0 ? -1 : (a + b) >> 1;
            else
                pred = a < 0 || b < 0 || c < 0 ? -1 : paeth(a, b, c);
            if (pred >= 0) row[i] = (out->p[at + 1 + i] + pred) & 255;
        }
        const uint8_t* orig = px->p + (h - rows + r) * len;
        for (size_t x = 0; x < w; ++x) {
            int all = 1;
            for (size_t k = 0; k < bpp; ++k) {
                const int v = row[x * bpp + k];
                if (v < 0)
                    all = 0;
                else if (v != orig[x * bpp + k])
                    ++*wrong;
            }
            count += (uint64_t)all;
        }
        int* t = above;
        above = row;
        row = t;
    }
    free(above);
    free(row);
    *rows_out = rows;
    return count;
}

static int matches(const buf* out, const buf* known, const buf* scan) {
    if (out->n > scan->n) return 0;
    const uint8_t* tail = scan->p + scan->n - out->n;
    for (size_t i = 0; i < out->n; ++i)
        if (known->p[i] && out->p[i] != tail[i]) return 0;
    return 1;
}

static int bound(int argc, char** argv) {
    if (argc < 8) return 2;
    buf cont = load(argv[2]), scan = load(argv[3]), px = load(argv[4]);
    const size_t w = strtoul(argv[5], 0, 10), h = strtoul(argv[6], 0, 10), bpp = strtoul(argv[7], 0, 10);
    make_windows();
    buf out = {0}, known = {0};
    long long found = -1;
    const uint64_t bits = (uint64_t)cont.n * 8;
    for (uint64_t bit = argc > 8 ? strtoull(argv[8], 0, 10) : 0; bit < bits; ++bit) {
        if (!probe_ok(&cont, bit)) {
            if (argc > 8) break;
            continue;
        }
        if (tracked(&cont, bit, &out, &known) && matches(&out, &known, &scan)) {
            found = (long long)bit;
            break;
        }
        if (argc > 8) break;
    }
    if (found < 0) {
        printf("{\"bit\":null,\"rows\":0,\"strict\":0,\"typed\":0,\"wrong\":0}\n");
        return 0;
    }
    uint64_t wrong = 0;
    size_t rows = 0;
    const uint64_t strict = known_pixels(&out, &known, &scan, &px, w, h, bpp, 0, &wrong, &rows);
    const uint64_t typed = known_pixels(&out, &known, &scan, &px, w, h, bpp, 1, &wrong, &rows);
    uint64_t lost = 0;
    for (size_t i = 0; i < known.n; ++i) lost += !known.p[i];
    printf("{\"bit\":%lld,\"rows\":%zu,\"strict\":%llu,\"typed\":%llu,\"wrong\":%llu,\"inflated\":%zu,\"lost\":%llu}\n",
           found, rows, (unsigned long long)strict, (unsigned long long)typed, (unsigned long long)wrong, out.n,
           (unsigned long long)lost);
    return 0;
}

/* ------------------------------------------------------------ the peers' method */

static int peer(int argc, char** argv) {
    if (argc < 7) return 2;
    buf cont = load(argv[2]), px = load(argv[3]);
    const size_t w = strtoul(argv[4], 0, 10), h = strtoul(argv[5], 0, 10), bpp = strtoul(argv[6], 0, 10);
    make_windows();
    buf out = {0};
    long long ended = -1, clean = -1;
    const uint64_t bits = (uint64_t)cont.n * 8;
    for (uint64_t bit = 0; bit < bits && ended < 0; ++bit) {
        if (!probe_ok(&cont, bit)) continue;
        const int r = inflate_from(&cont, bit, windows[0], &out, 0);
        if (r == 1)
            ended = (long long)bit;
        else if (r == 0 && clean < 0 && out.n > w * bpp + 1)
            clean = (long long)bit;
    }
    const long long bit = ended >= 0 ? ended : clean;
    const size_t len = w * bpp, stride = len + 1;
    size_t rows = 0;
    uint64_t right = 0;
    if (bit >= 0) {
        inflate_from(&cont, (uint64_t)bit, windows[0], &out, 0);
        rows = out.n / stride;
        if (rows > h) rows = h;
        const size_t first = ended >= 0 ? out.n - rows * stride : 0; /* a stream that does not end: from the start */
        uint8_t *prev = calloc(len, 1), *cur = malloc(len);
        for (size_t r = 0; r < rows; ++r) {
            const uint8_t* in = out.p + first + r * stride;
            const int f = in[0] <= 4 ? in[0] : 0;
            for (size_t i = 0; i < len; ++i) {
                const int a = i >= bpp ? cur[i - bpp] : 0, c = i >= bpp ? prev[i - bpp] : 0;
                cur[i] = (uint8_t)(in[1 + i] + predict(f, a, prev[i], c));
            }
            const uint8_t* orig = px.p + (h - rows + r) * len;
            for (size_t x = 0; x < w; ++x) right += !memcmp(cur + x * bpp, orig + x * bpp, bpp);
            uint8_t* t = prev;
            prev = cur;
            cur = t;
        }
        free(prev);
        free(cur);
    }
    printf("{\"bit\":%lld,\"ended\":%s,\"rows\":%zu,\"right\":%llu}\n", bit, ended >= 0 ? "true" : "false", rows,
           (unsigned long long)right);
    return 0;
}

/* ------------------------------------------------------------ comparing a picture */

static int compare(int argc, char** argv) {
    if (argc < 8) return 2;
    buf px = load(argv[2]), pic = load(argv[6]);
    const size_t w = strtoul(argv[3], 0, 10), h = strtoul(argv[4], 0, 10), bpp = strtoul(argv[5], 0, 10);
    const size_t rows = strtoul(argv[7], 0, 10);
    uint64_t right = 0, shown = 0, wrong = 0;
    if (rows <= h && pic.n >= rows * w * 4) {
        for (size_t y = 0; y < rows; ++y)
            for (size_t x = 0; x < w; ++x) {
                const uint8_t *p = pic.p + (y * w + x) * 4, *o = px.p + ((h - rows + y) * w + x) * bpp;
                uint8_t t[4] = {o[0], bpp >= 3 ? o[1] : o[0], bpp >= 3 ? o[2] : o[0], 255};
                if (bpp == 4) t[3] = o[3];
                if (bpp == 2) t[3] = o[1];
                const int same = !memcmp(p, t, 4);
                right += (uint64_t)same;
                if (p[3]) {
                    ++shown;
                    wrong += (uint64_t)!same;
                }
            }
    }
    printf("{\"right\":%llu,\"shown\":%llu,\"wrong\":%llu}\n", (unsigned long long)right, (unsigned long long)shown,
           (unsigned long long)wrong);
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    if (!strcmp(argv[1], "encode")) return encode(argc, argv);
    if (!strcmp(argv[1], "bound")) return bound(argc, argv);
    if (!strcmp(argv[1], "peer")) return peer(argc, argv);
    if (!strcmp(argv[1], "compare")) return compare(argc, argv);
    return 2;
}
