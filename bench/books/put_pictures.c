/* Replaces picture records of a book with other files, keeping everything else (kindlegen
 * shrinks every picture below 127 KB; books from other converters keep them large):
 * put_pictures <in.azw> <out.azw> <picture number from 0> <file> [<number> <file>...]
 * Build: cc put_pictures.c $(pkg-config --cflags --libs libmobi) -o put_pictures */
#include <mobi.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    if (argc < 5 || argc % 2 == 0)
        return 2;
    MOBIData *m = mobi_init();
    if (!m || mobi_load_filename(m, argv[1]) != MOBI_SUCCESS)
        return 1;
    for (int i = 3; i + 1 < argc; i += 2) {
        MOBIPdbRecord *rec = mobi_get_record_by_seqnumber(m, mobi_get_first_resource_record(m) + (size_t)atoi(argv[i]));
        FILE *f = fopen(argv[i + 1], "rb");
        if (!rec || !f)
            return 1;
        fseek(f, 0, SEEK_END);
        long size = ftell(f);
        rewind(f);
        unsigned char *data = malloc((size_t)size);
        if (!data || fread(data, 1, (size_t)size, f) != (size_t)size)
            return 1;
        fclose(f);
        free(rec->data);
        rec->data = data;
        rec->size = (size_t)size;
    }
    FILE *out = fopen(argv[2], "wb");
    if (!out || mobi_write_file(out, m) != MOBI_SUCCESS)
        return 1;
    fclose(out);
    mobi_free(m);
    return 0;
}
