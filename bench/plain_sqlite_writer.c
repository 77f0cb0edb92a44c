/* The baseline for record: board lines read from a file and written through SQLite's C
 * interface in statements of 64 rows, into a register that already has the tool's schema
 * (the caller makes one with the tool). Each reading gets a new cell numbered on from the
 * first label, one record run holds them all, and everything is one transaction, as the
 * tool does. Nothing more than that: no check of the labels, no messages.
 *
 *   plain-sqlite-writer DB FILE PREFIX FIRST WIDTH TIME
 *   e.g. plain-sqlite-writer cells.sqlite readings.txt C 1 6 2026-01-01T08:00:00.000Z
 */
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kRows = 64, kColumns = 10 };

struct reading {
    int group;
    long long microohms, microvolts;
    int shape;
    long long line; /* in the file, from 1 */
};

static void fail(sqlite3 *db, const char *what)
{
    fprintf(stderr, "plain-sqlite-writer: %s: %s\n", what, sqlite3_errmsg(db));
    exit(1);
}

/* A number of digits with a point; its units and places. */
static const char *number(const char *p, long long *units, int *places)
{
    *units = 0;
    *places = -1;
    for (;; ++p) {
        if (*p >= '0' && *p <= '9') {
            *units = *units * 10 + (*p - '0');
            if (*places >= 0)
                ++*places;
        } else if (*p == '.' && *places < 0) {
            *places = 0;
        } else {
            return p;
        }
    }
}

static long long scaled(long long units, int places, int to)
{
    while (places++ < to)
        units *= 10;
    return units;
}

/* " Group 7       056.7m\xA6\xB8     4.123V"; 0 for any other line. */
static int parse(const char *line, struct reading *r)
{
    long long units;
    int places;
    if (strncmp(line, " Group ", 7) != 0)
        return 0;
    const char *p = line + 7;
    r->group = 0;
    while (*p >= '0' && *p <= '9')
        r->group = r->group * 10 + (*p++ - '0');
    while (*p == ' ')
        ++p;
    p = number(p, &units, &places);
    if (places < 1)
        return 0;
    const int ohm = *p == ' ';
    if (*p != 'm' && !ohm)
        return 0;
    r->microohms = scaled(units, places, ohm ? 6 : 3);
    r->shape = places | (ohm ? 4 : 0);
    p += 3; /* the unit's letter or blank, and the sign's two bytes */
    while (*p == ' ')
        ++p;
    p = number(p, &units, &places);
    if (places < 2 || *p != 'V')
        return 0;
    r->microvolts = scaled(units, places, 6);
    r->shape |= places << 3;
    return 1;
}

static sqlite3_stmt *prepare(sqlite3 *db, const char *head, int columns, int rows)
{
    char sql[8192];
    int n = snprintf(sql, sizeof sql, "%s", head);
    for (int i = 0; i < rows; ++i) {
        n += snprintf(sql + n, sizeof sql - (size_t)n, i ? ",(" : "(");
        for (int c = 0; c < columns; ++c)
            n += snprintf(sql + n, sizeof sql - (size_t)n, c ? ",?" : "?");
        n += snprintf(sql + n, sizeof sql - (size_t)n, ")");
    }
    sqlite3_stmt *s = NULL;
    if (sqlite3_prepare_v2(db, sql, -1, &s, NULL) != SQLITE_OK)
        fail(db, "prepare");
    return s;
}

static void step(sqlite3 *db, sqlite3_stmt *s)
{
    if (sqlite3_step(s) != SQLITE_DONE)
        fail(db, "insert");
    sqlite3_reset(s);
}

/* Writes the pending readings: their cells, then the readings with the cells' ids. */
static void flush(sqlite3 *db, const struct reading *pending, int count, long long *next,
                  const char *prefix, int width, const char *time, long long run,
                  sqlite3_stmt **cells, sqlite3_stmt **rows)
{
    if (count == 0)
        return;
    if (count < kRows) {
        sqlite3_finalize(*cells);
        sqlite3_finalize(*rows);
        *cells = prepare(db, "INSERT INTO cells (label, label_key) VALUES ", 2, count);
        *rows = prepare(db,
                        "INSERT INTO measurements (cell_id, measured_at, group_number, "
                        "microohms, microvolts, text_shape, source_line, rest_start, run_id, "
                        "file_id) VALUES ",
                        kColumns, count);
    }
    /* Each cell with its label's key, the label in lower case (ASCII labels). */
    char labels[kRows][64], keys[kRows][64];
    for (int i = 0; i < count; ++i) {
        const int n = snprintf(labels[i], sizeof labels[i], "%s%0*lld", prefix, width, *next + i);
        for (int k = 0; k <= n; ++k)
            keys[i][k] = labels[i][k] >= 'A' && labels[i][k] <= 'Z' ? (char)(labels[i][k] + 32)
                                                                   : labels[i][k];
        sqlite3_bind_text(*cells, 2 * i + 1, labels[i], n, SQLITE_STATIC);
        sqlite3_bind_text(*cells, 2 * i + 2, keys[i], n, SQLITE_STATIC);
    }
    step(db, *cells);
    /* One statement's rows take ids one after the other, the last one returned. */
    const long long first = sqlite3_last_insert_rowid(db) - count + 1;
    for (int i = 0; i < count; ++i) {
        const struct reading *r = &pending[i];
        int c = i * kColumns;
        sqlite3_bind_int64(*rows, ++c, first + i);
        sqlite3_bind_text(*rows, ++c, time, -1, SQLITE_STATIC);
        sqlite3_bind_int(*rows, ++c, r->group);
        sqlite3_bind_int64(*rows, ++c, r->microohms);
        sqlite3_bind_int64(*rows, ++c, r->microvolts);
        sqlite3_bind_int(*rows, ++c, r->shape);
        sqlite3_bind_int64(*rows, ++c, r->line);
        sqlite3_bind_int(*rows, ++c, 0);
        sqlite3_bind_int64(*rows, ++c, run);
        sqlite3_bind_null(*rows, ++c);
    }
    step(db, *rows);
    *next += count;
}

int main(int argc, char **argv)
{
    if (argc != 7) {
        fprintf(stderr, "usage: plain-sqlite-writer DB FILE PREFIX FIRST WIDTH TIME\n");
        return 2;
    }
    const char *prefix = argv[3], *time = argv[6];
    long long next = atoll(argv[4]);
    const int width = atoi(argv[5]);
    FILE *in = fopen(argv[2], "rb");
    sqlite3 *db = NULL;
    if (!in || sqlite3_open(argv[1], &db) != SQLITE_OK) {
        fprintf(stderr, "plain-sqlite-writer: cannot open %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    if (sqlite3_exec(db, "PRAGMA foreign_keys = ON; BEGIN IMMEDIATE", NULL, NULL, NULL)
        != SQLITE_OK)
        fail(db, "begin");
    sqlite3_stmt *added = NULL;
    if (sqlite3_prepare_v2(db,
                           "INSERT INTO record_runs (recorded_at, measured_at, model, source) "
                           "VALUES (?, ?, 'unknown', ?) RETURNING id",
                           -1, &added, NULL)
        != SQLITE_OK)
        fail(db, "prepare");
    sqlite3_bind_text(added, 1, time, -1, SQLITE_STATIC);
    sqlite3_bind_text(added, 2, time, -1, SQLITE_STATIC);
    sqlite3_bind_text(added, 3, argv[2], -1, SQLITE_STATIC);
    if (sqlite3_step(added) != SQLITE_ROW)
        fail(db, "run");
    const long long run = sqlite3_column_int64(added, 0);
    sqlite3_finalize(added);

    sqlite3_stmt *cells = prepare(db, "INSERT INTO cells (label, label_key) VALUES ", 2, kRows);
    sqlite3_stmt *rows = prepare(db,
                                 "INSERT INTO measurements (cell_id, measured_at, group_number, "
                                 "microohms, microvolts, text_shape, source_line, rest_start, "
                                 "run_id, file_id) VALUES ",
                                 kColumns, kRows);
    struct reading pending[kRows];
    int count = 0;
    char line[256];
    long long number = 0;
    while (fgets(line, sizeof line, in)) {
        ++number;
        if (!parse(line, &pending[count]))
            continue;
        pending[count].line = number;
        if (++count == kRows) {
            flush(db, pending, count, &next, prefix, width, time, run, &cells, &rows);
            count = 0;
        }
    }
    flush(db, pending, count, &next, prefix, width, time, run, &cells, &rows);
    sqlite3_finalize(cells);
    sqlite3_finalize(rows);
    if (sqlite3_exec(db, "COMMIT", NULL, NULL, NULL) != SQLITE_OK)
        fail(db, "commit");
    sqlite3_close(db);
    fclose(in);
    return 0;
}
