/* Replaces one picture record of a book with a PNG file, keeping everything else:
 * put_png <in.azw> <picture number from 0> <picture.png> <out.azw>
 * Build: cc put_png.c $(pkg-config --cflags --libs libmobi) -o put_png */
#include <mobi.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    if (argc != 5)
        return 2;
    MOBIData *m = mobi_init();
    if (!m || mobi_load_filename(m, argv[1]) != MOBI_SUCCESS)
        return 1;
    MOBIPdbRecord *rec = mobi_get_record_by_seqnumber(m, mobi_get_first_resource_record(m) + (size_t)atoi(argv[2]));
    FILE *png = fopen(argv[3], "rb");
    if (!rec || !png)
        return 1;
    fseek(png, 0, SEEK_END);
    long size = ftell(png);
    rewind(png);
    unsigned char *data = malloc((size_t)size);
    if (!data || fread(data, 1, (size_t)size, png) != (size_t)size)
        return 1;
    fclose(png);
    free(rec->data);
    rec->data = data;
    rec->size = (size_t)size;
    FILE *out = fopen(argv[4], "wb");
    if (!out || mobi_write_file(out, m) != MOBI_SUCCESS)
        return 1;
    fclose(out);
    mobi_free(m);
    return 0;
}
