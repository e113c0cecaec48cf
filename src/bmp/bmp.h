// The two BMP header records and the header diagnostic.
#ifndef RASTERKIT_BMP_H
#define RASTERKIT_BMP_H

#include "rasterkit_rules/bmp_header.h"

// Prints every field of both headers, one line each, on standard output.
void rasterkit_printheaders_bmp(const rasterkit_bmpfileheader *file_header, const rasterkit_bmpinfoheader *info_header);

#endif
