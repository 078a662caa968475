/* Independent writer for the operation tests: makes a Paradox table (unkeyed) with pxlib, so
 * that the runs are tested on tables Quillora did not write.
 *
 * Usage: px_make TABLE.DB FIELDS RECORD...
 *   FIELDS  fields separated by ',', each NAME:A:SIZE (Alpha), NAME:I (Long) or NAME:N (Number)
 *   RECORD  values separated by '|', in field order; an empty value leaves the field empty.
 *           Alpha values are stored exactly as given, trailing blanks included.
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

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: px_make TABLE.DB NAME:A:SIZE,NAME:I,NAME:N RECORD...\n");
        return 2;
    }
    /* pxlib takes the field list and frees it with the document. */
    pxfield_t *fields = malloc(64 * sizeof(pxfield_t));
    int count = 0;
    char *spec = strdup(argv[2]);
    for (char *save = NULL, *f = strtok_r(spec, ",", &save); f && count < 64; f = strtok_r(NULL, ",", &save)) {
        char *type = strchr(f, ':');
        if (!type) {
            fprintf(stderr, "bad field %s\n", f);
            return 2;
        }
        *type++ = '\0';
        fields[count].px_fname = strdup(f);
        fields[count].px_fdc = 0;
        if (type[0] == 'A') {
            fields[count].px_ftype = pxfAlpha;
            fields[count].px_flen = type[1] == ':' ? atoi(type + 2) : 10;
        } else if (type[0] == 'I') {
            fields[count].px_ftype = pxfLong;
            fields[count].px_flen = 4;
        } else if (type[0] == 'N') {
            fields[count].px_ftype = pxfNumber;
            fields[count].px_flen = 8;
        } else {
            fprintf(stderr, "bad field type %s\n", type);
            return 2;
        }
        ++count;
    }
    PX_boot();
    pxdoc_t *doc = PX_new2(on_error, NULL, NULL, NULL);
    if (!doc || PX_create_file(doc, fields, count, argv[1], pxfFileTypNonIndexDB) < 0) {
        fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    int size = 0;
    for (int i = 0; i < count; ++i)
        size += fields[i].px_flen;
    char *data = malloc((size_t)size);
    for (int r = 3; r < argc; ++r) {
        memset(data, 0, (size_t)size);
        char *rec = strdup(argv[r]);
        char *p = rec;
        int offset = 0;
        for (int i = 0; i < count; ++i) {
            char *end = strchr(p, '|');
            if (end)
                *end = '\0';
            if (*p) {
                if (fields[i].px_ftype == pxfAlpha)
                    PX_put_data_alpha(doc, data + offset, fields[i].px_flen, p);
                else if (fields[i].px_ftype == pxfLong)
                    PX_put_data_long(doc, data + offset, 4, atoi(p));
                else
                    PX_put_data_double(doc, data + offset, 8, atof(p));
            }
            offset += fields[i].px_flen;
            p = end ? end + 1 : p + strlen(p);
        }
        free(rec);
        if (PX_put_record(doc, data) < 0) {
            fprintf(stderr, "cannot write record %d\n", r - 2);
            return 1;
        }
    }
    free(data);
    PX_close(doc);
    PX_delete(doc);
    PX_shutdown();
    return failed;
}
