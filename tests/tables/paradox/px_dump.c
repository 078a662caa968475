/* Independent reader for the Paradox tests: prints a table's fields and records as pxlib sees
 * them, one record a line, fields separated by tabs. Empty fields (all zero bytes) print as
 * NULL, since pxlib reports some of them as numbers. Text and bytes print as hex, so the
 * tests compare exact bytes. Blob fields print as BLOB (the pxlib of Debian 12 cannot read
 * .MB files).
 *
 * Usage: px_dump TABLE.DB [TABLE.PX]
 * With the primary index given, pxlib reads the index and finds every record through it (its
 * level-1 entries: block numbers and record counts) instead of walking the block chain.
 * pxlib is GPL: this program is only built and run by the tests.
 */
#include <paradox.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int failed = 0;

static void on_error(pxdoc_t *p, int type, const char *msg, void *data)
{
    (void)p; (void)type; (void)data;
    fprintf(stderr, "pxlib: %s\n", msg);
    failed = 1;
}

static void hex(const char *s, int n)
{
    for (int i = 0; i < n; i++)
        printf("%02x", (unsigned char)s[i]);
}

static int blank(const char *s, int n)
{
    for (int i = 0; i < n; i++)
        if (s[i])
            return 0;
    return 1;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: px_dump TABLE.DB [TABLE.PX]\n");
        return 2;
    }
    PX_boot();
    pxdoc_t *doc = PX_new2(on_error, NULL, NULL, NULL);
    if (!doc || PX_open_file(doc, argv[1]) < 0) {
        fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    pxdoc_t *index = NULL;
    if (argc >= 3) {
        index = PX_new2(on_error, NULL, NULL, NULL);
        if (!index || PX_open_file(index, argv[2]) < 0 || PX_read_primary_index(index) < 0 ||
            PX_add_primary_index(doc, index) < 0) {
            fprintf(stderr, "cannot use the index %s\n", argv[2]);
            return 1;
        }
    }
    if (failed)
        return 1;
    int nf = PX_get_num_fields(doc);
    int nr = PX_get_num_records(doc);
    pxfield_t *fields = PX_get_fields(doc);
    printf("records %d\n", nr);
    for (int i = 0; i < nf; i++)
        printf("field %s %d %d %d\n", fields[i].px_fname, fields[i].px_ftype, fields[i].px_flen, fields[i].px_fdc);
    char *rec = malloc((size_t)PX_get_recordsize(doc));
    for (int r = 0; r < nr; r++) {
        if (!PX_get_record(doc, r, rec)) {
            fprintf(stderr, "cannot read record %d\n", r);
            return 1;
        }
        int off = 0;
        for (int i = 0; i < nf; i++) {
            const pxfield_t *f = &fields[i];
            char *p = rec + off;
            int len = f->px_flen;
            off += len;
            if (i)
                putchar('\t');
            if (blank(p, len)) {
                printf("NULL");
                continue;
            }
            switch (f->px_ftype) {
            case pxfAlpha: {
                int n = 0;
                while (n < len && p[n])
                    n++;
                hex(p, n);
                break;
            }
            case pxfBytes:
                hex(p, len);
                break;
            case pxfDate: {
                long v;
                int y, m, d;
                PX_get_data_long(doc, p, len, &v);
                PX_SdnToGregorian(v + 1721425, &y, &m, &d);
                printf("%04d-%02d-%02d", y, m, d);
                break;
            }
            case pxfShort: {
                short v;
                PX_get_data_short(doc, p, len, &v);
                printf("%d", v);
                break;
            }
            case pxfLong: case pxfAutoInc: case pxfTime: {
                long v;
                PX_get_data_long(doc, p, len, &v);
                printf("%d", (int)v);
                break;
            }
            case pxfNumber: case pxfCurrency: case pxfTimestamp: {
                double v;
                PX_get_data_double(doc, p, len, &v);
                printf("%.17g", v);
                break;
            }
            case pxfLogical: {
                char v;
                PX_get_data_byte(doc, p, len, &v);
                printf("%s", v ? "true" : "false");
                break;
            }
            case pxfBCD: {
                char *v = NULL;
                PX_get_data_bcd(doc, (unsigned char *)p, f->px_fdc, &v);
                printf("%s", v ? v : "?");
                break;
            }
            default:
                printf("BLOB");
            }
        }
        putchar('\n');
    }
    free(rec);
    PX_close(doc);
    PX_delete(doc);
    PX_shutdown();
    return failed;
}
