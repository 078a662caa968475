/* pxlib side of the Paradox benchmark (pxlib is GPL: built only with the benchmarks, never
 * linked into the program). Does what bench_paradox does with the same records:
 *   paradox_pxlib_bench append FILE N [keyed]   create FILE, add N records (PX_insert_record)
 *   paradox_pxlib_bench scan FILE               read every record and decode every field
 * Prints "seconds S maxrss_kib M records R".
 */
#include <paradox.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>

static double now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

static long maxrss(void)
{
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

static void quiet(pxdoc_t *p, int type, const char *msg, void *data)
{
    (void)p; (void)type; (void)data;
    fprintf(stderr, "pxlib: %s\n", msg);
}

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    PX_boot();
    pxdoc_t *doc = PX_new2(quiet, NULL, NULL, NULL);
    double start = now();
    long records = 0;
    if (strcmp(argv[1], "append") == 0 && argc >= 4) {
        long n = atol(argv[3]);
        int keyed = argc >= 5;
        pxfield_t *f = calloc(7, sizeof(pxfield_t));
        const char *names[] = {"Id", "Nome", "Cidade", "Valor", "Qtd", "Nasc", "Ativo"};
        const char types[] = {pxfLong, pxfAlpha, pxfAlpha, pxfNumber, pxfLong, pxfDate, pxfLogical};
        const int lens[] = {4, 30, 20, 8, 4, 4, 1};
        for (int i = 0; i < 7; i++) {
            f[i].px_fname = strdup(names[i]);
            f[i].px_ftype = types[i];
            f[i].px_flen = lens[i];
            f[i].px_fdc = 0;
        }
        if (PX_create_file(doc, f, 7, argv[2], keyed ? pxfFileTypIndexDB : pxfFileTypNonIndexDB) < 0)
            return 1;
        if (keyed)
            PX_set_parameter(doc, "primarykeyfields", "1");
        char nome[64], cidade[64];
        pxval_t v[7];
        pxval_t *vp[7];
        for (int i = 0; i < 7; i++)
            vp[i] = &v[i];
        for (long i = 0; i < n; i++) {
            memset(v, 0, sizeof v);
            snprintf(nome, sizeof nome, "Cliente numero %ld", i);
            snprintf(cidade, sizeof cidade, "Cidade %ld", i % 5000);
            v[0].type = pxfLong; v[0].value.lval = i + 1;
            v[1].type = pxfAlpha; v[1].value.str.val = nome; v[1].value.str.len = (int)strlen(nome);
            v[2].type = pxfAlpha; v[2].value.str.val = cidade; v[2].value.str.len = (int)strlen(cidade);
            v[3].type = pxfNumber; v[3].value.dval = (double)(i % 100000) / 100.0;
            v[4].type = pxfLong; v[4].value.lval = i % 1000;
            v[5].type = pxfDate; v[5].value.lval = 726833 + i % 10000;
            v[6].type = pxfLogical; v[6].value.lval = i % 2;
            if (PX_insert_record(doc, vp) < 0)
                return 1;
        }
        records = n;
    } else if (strcmp(argv[1], "scan") == 0) {
        if (PX_open_file(doc, argv[2]) < 0)
            return 1;
        int nf = PX_get_num_fields(doc);
        pxfield_t *f = PX_get_fields(doc);
        int nr = PX_get_num_records(doc);
        char *rec = malloc((size_t)PX_get_recordsize(doc));
        double sum = 0;
        for (int r = 0; r < nr; r++) {
            if (!PX_get_record(doc, r, rec))
                return 1;
            int off = 0;
            for (int i = 0; i < nf; i++) {
                char *p = rec + off;
                off += f[i].px_flen;
                long l;
                double d;
                char *s;
                char b;
                switch (f[i].px_ftype) {
                case pxfAlpha:
                    if (PX_get_data_alpha(doc, p, f[i].px_flen, &s) > 0 && s) {
                        sum += s[0];
                        doc->free(doc, s);
                    }
                    break;
                case pxfLong: case pxfDate:
                    if (PX_get_data_long(doc, p, f[i].px_flen, &l) > 0)
                        sum += (double)l;
                    break;
                case pxfNumber:
                    if (PX_get_data_double(doc, p, f[i].px_flen, &d) > 0)
                        sum += d;
                    break;
                case pxfLogical:
                    if (PX_get_data_byte(doc, p, f[i].px_flen, &b) > 0)
                        sum += b;
                    break;
                }
            }
        }
        records = nr;
        if (sum == 0.5)
            puts("");
    } else {
        return 2;
    }
    PX_close(doc);
    double secs = now() - start;
    printf("seconds %.3f maxrss_kib %ld records %ld\n", secs, maxrss(), records);
    PX_delete(doc);
    PX_shutdown();
    return 0;
}
