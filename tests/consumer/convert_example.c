/* A consumer of the conversion library: writes a small image safely, reads
 * its header back without decoding, and refuses it under a tiny pixel limit. */
#include <stdio.h>
#include <string.h>

#include <rasterkit_convert.h>

int main(void) {
    const char *path = "convert_example.png";
    rasterkit_image *image = NULL;
    rasterkit_image_new(&image, 4, 3);
    char *message = NULL;
    int failed = rkconv_write_file(path, image, NULL, NULL, &message) != 0;

    rkconv_header header;
    failed |= rkconv_probe_file(path, &header, NULL, &message) != 0;
    failed |= header.format != RKCONV_FORMAT_PNG || header.width != 4 || header.height != 3;

    rkconv_options *options = rkconv_options_new();
    rkconv_options_set_max_pixels(options, 11);
    failed |= rkconv_read_file(path, options, image, NULL, &message) == 0;
    printf("refused: %s\n", message != NULL ? message : "(no message)");
    rkconv_free(message);
    rkconv_options_free(options);
    rasterkit_image_delete(&image);
    remove(path);
    return failed;
}
