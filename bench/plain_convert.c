/* The baseline of the tool's convert to CSV: a plain streaming converter in C that writes the
 * same bytes for the board files the benchmark makes (every line a reading, CR LF breaks,
 * names that need no quotes). Reads in pieces with read(), finds line ends with memchr,
 * writes digits into one buffer and flushes it with write(): what the machine can do with
 * no program around it.
 *   plain-convert FILE   (CSV on standard output) */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum { kChunk = 1 << 20, kLongest = 4096 };

static char out[kChunk + 2 * kLongest];
static size_t used;

static void flush_out(void)
{
    size_t at = 0;
    while (at < used) {
        const ssize_t n = write(STDOUT_FILENO, out + at, used - at);
        if (n <= 0)
            exit(1);
        at += (size_t)n;
    }
    used = 0;
}

static void put(const char *s, size_t n)
{
    memcpy(out + used, s, n);
    used += n;
}

/* A fixed-point number as the board shows it ("056.7", "3.605"): its digits as units and
 * the places after the point; the end of it, or NULL. */
static const char *number(const char *p, const char *end, unsigned long *units, int *places)
{
    *units = 0;
    *places = -1;
    for (; p < end; ++p) {
        if (*p >= '0' && *p <= '9') {
            *units = *units * 10 + (unsigned long)(*p - '0');
            if (*places >= 0)
                ++*places;
        } else if (*p == '.' && *places < 0) {
            *places = 0;
        } else {
            break;
        }
    }
    return *places > 0 ? p : NULL;
}

/* units * 10^-places with no trailing zeros. */
static void decimal(unsigned long units, int places)
{
    char text[32];
    char *p = text + sizeof text;
    while (places > 0 && units % 10 == 0) {
        units /= 10;
        --places;
    }
    for (int i = 0; i < places; ++i, units /= 10)
        *--p = (char)('0' + units % 10);
    if (places > 0)
        *--p = '.';
    do
        *--p = (char)('0' + units % 10);
    while ((units /= 10) != 0);
    put(p, (size_t)(text + sizeof text - p));
}

static int convert_line(const char *line, size_t n, const char *name, size_t nameLength,
                        unsigned long number_of_line)
{
    const char *end = line + n, *p = line;
    if (n < 7 || memcmp(p, " Group ", 7) != 0)
        return 0;
    p += 7;
    const char *group = p;
    while (p < end && *p >= '0' && *p <= '9')
        ++p;
    const size_t groupLength = (size_t)(p - group);
    if (groupLength == 0 || end - p < 7 || memcmp(p, "       ", 7) != 0)
        return 0;
    p += 7;
    const char *resistance = p;
    unsigned long r, v;
    int rPlaces, vPlaces;
    if (!(p = number(p, end, &r, &rPlaces)) || end - p < 8)
        return 0;
    const size_t rLength = (size_t)(p - resistance);
    const int milli = *p == 'm';
    if ((*p != 'm' && *p != ' ') || memcmp(p + 1, "\xA6\xB8     ", 7) != 0)
        return 0;
    p += 8;
    const char *voltage = p;
    if (!(p = number(p, end, &v, &vPlaces)) || p + 1 != end || *p != 'V')
        return 0;

    put(name, nameLength);
    put(",", 1);
    decimal(number_of_line, 0);
    put(",", 1);
    put(group, groupLength);
    put(",", 1);
    decimal(r, rPlaces + (milli ? 3 : 0));
    put(",", 1);
    decimal(v, vPlaces);
    put(",", 1);
    put(resistance, rLength);
    put(milli ? "m\xCE\xA9," : " \xCE\xA9,", 4);
    put(voltage, (size_t)(end - voltage));
    put("\r\n", 2);
    return 1;
}

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    const int fd = open(argv[1], O_RDONLY);
    if (fd < 0)
        return 1;
    const char *name = argv[1];
    const size_t nameLength = strlen(name);
    static char in[kChunk + kLongest];
    size_t begin = 0, end = 0;
    unsigned long lineNumber = 0;
    int eof = 0;
    put("file,line,group,resistance_ohm,voltage_v,resistance_text,voltage_text\r\n", 71);
    while (!eof || begin < end) {
        char *nl = memchr(in + begin, '\n', end - begin);
        if (!nl && !eof) {
            memmove(in, in + begin, end - begin);
            end -= begin;
            begin = 0;
            const ssize_t n = read(fd, in + end, kChunk);
            if (n < 0)
                return 1;
            if (n == 0)
                eof = 1;
            end += (size_t)n;
            continue;
        }
        const size_t stop = nl ? (size_t)(nl - in) : end;
        size_t length = stop - begin;
        if (length > 0 && in[begin + length - 1] == '\r')
            --length;
        ++lineNumber;
        if (length > 0 && !convert_line(in + begin, length, name, nameLength, lineNumber))
            fprintf(stderr, "%s:%lu: not a reading\n", name, lineNumber);
        begin = nl ? stop + 1 : end;
        if (used >= kChunk)
            flush_out();
    }
    flush_out();
    return 0;
}
