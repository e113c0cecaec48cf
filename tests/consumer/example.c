/* A consumer of the installed library, in plain C: make an image, turn it a
 * quarter clockwise, save it as PNG in memory and read it back. This is the
 * README's C example. */
#include <stdio.h>
#include <stdlib.h>

#include <rasterkit.h>

int main(void) {
    rasterkit_image *image = NULL;
    rasterkit_image *back = NULL;
    uint8_t *png = NULL;
    int32_t length = 0;
    int status = 1;

    if (rasterkit_image_new(&image, 3, 2) != 0) goto done;
    rasterkit_set_pixel_RGBA(image, 0, 0, 255, 0, 0, 255); /* red, top left */
    if (rasterkit_transpose_image(image) != 0) goto done;
    rasterkit_image_flipx(image); /* transpose + mirror = quarter turn clockwise */

    length = rasterkit_pngbytebufferlen(image);
    png = malloc((size_t)length);
    if (png == NULL) goto done;
    rasterkit_pngbytebuffer_from_img(image, png, length, &length);

    rasterkit_image_new(&back, 0, 0);
    rasterkit_pngbytebuffer_to_img(back, png, length);
    uint8_t red = 0;
    rasterkit_get_pixel_RGBA(back, 1, 0, &red, NULL, NULL, NULL);
    printf("%dx%d image, %d PNG bytes, top right red=%d\n", back->width, back->height, length, red);
    status = (back->width == 2 && back->height == 3 && red == 255) ? 0 : 1;

done:
    free(png);
    rasterkit_image_delete(&back);
    rasterkit_image_delete(&image);
    return status;
}
