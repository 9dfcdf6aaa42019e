// vantry-pngdiff: decodes two PNG files and compares them pixel by pixel; the golden-image
// test runs it on each picture vantry-report draws against the one kept in tests/golden.
#include <stdio.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

// Exit status: 0 the same picture, 1 different (the first differing pixel is printed),
// 2 a file that cannot be read as a PNG or a usage error.
int main(int argc, char **argv)
{
    if (argc != 3) {
        fputs("usage: vantry-pngdiff ACTUAL.png EXPECTED.png\n", stderr);
        return 2;
    }
    int w[2], h[2], channels;
    unsigned char *pixels[2];
    for (int k = 0; k < 2; k++) {
        // Both decoded to RGB: the comparison is of colours, not of how they were stored.
        pixels[k] = stbi_load(argv[1 + k], &w[k], &h[k], &channels, 3);
        if (!pixels[k]) {
            fprintf(stderr, "vantry-pngdiff: %s: %s\n", argv[1 + k], stbi_failure_reason());
            if (k == 1)
                stbi_image_free(pixels[0]);
            return 2;
        }
    }
    int status = 0;
    if (w[0] != w[1] || h[0] != h[1]) {
        printf("%s is %dx%d, %s is %dx%d\n", argv[1], w[0], h[0], argv[2], w[1], h[1]);
        status = 1;
    } else {
        long differing = 0;
        long first = -1;
        for (long i = 0; i < (long)w[0] * h[0]; i++) {
            const unsigned char *a = pixels[0] + 3 * i, *b = pixels[1] + 3 * i;
            if (a[0] != b[0] || a[1] != b[1] || a[2] != b[2]) {
                if (first < 0)
                    first = i;
                differing++;
            }
        }
        if (first >= 0) {
            const unsigned char *a = pixels[0] + 3 * first, *b = pixels[1] + 3 * first;
            printf("%ld pixels differ; the first at (%ld, %ld): %02X%02X%02X, expected "
                   "%02X%02X%02X\n",
                   differing, first % w[0], first / w[0], a[0], a[1], a[2], b[0], b[1], b[2]);
            status = 1;
        }
    }
    stbi_image_free(pixels[0]);
    stbi_image_free(pixels[1]);
    return status;
}
