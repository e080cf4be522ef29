// Draws the setup's icon (an open box in front of a program window, 32x32 and 16x16,
// 16 colours with masks) and the page bitmap (computer equipment on a teal ground,
// 189x275, 8 bits per pixel) and writes them as setup.ico and pages.bmp.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <vector>

namespace {

struct Canvas {
  int Width, Height;
  std::vector<uint8_t> Pixels;  // palette indices, top row first
  std::vector<uint8_t> Opaque;  // 1 where the icon is drawn
};

Canvas MakeCanvas(int width, int height, uint8_t fill, uint8_t opaque) {
  Canvas c{width, height, std::vector<uint8_t>(width * height, fill), std::vector<uint8_t>(width * height, opaque)};
  return c;
}

void Fill(Canvas& c, int x0, int y0, int x1, int y1, uint8_t colour) {
  for (int y = y0; y <= y1; ++y)
    for (int x = x0; x <= x1; ++x)
      if (x >= 0 && y >= 0 && x < c.Width && y < c.Height) {
        c.Pixels[y * c.Width + x] = colour;
        c.Opaque[y * c.Width + x] = 1;
      }
}

void Frame(Canvas& c, int x0, int y0, int x1, int y1, uint8_t colour) {
  Fill(c, x0, y0, x1, y0, colour);
  Fill(c, x0, y1, x1, y1, colour);
  Fill(c, x0, y0, x0, y1, colour);
  Fill(c, x1, y0, x1, y1, colour);
}

void Disc(Canvas& c, int cx, int cy, int r, uint8_t colour) {
  for (int y = -r; y <= r; ++y)
    for (int x = -r; x <= r; ++x)
      if (x * x + y * y <= r * r) Fill(c, cx + x, cy + y, cx + x, cy + y, colour);
}

// Standard 16-colour palette (the first 16 entries of both assets).
const uint8_t Vga[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                            {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                            {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                            {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
enum { Black = 0, Maroon = 1, Olive = 3, Navy = 4, Teal = 6, Silver = 7, Grey = 8, Yellow = 11, Blue = 12, Cyan = 14, White = 15 };

void Put16(std::vector<uint8_t>& out, unsigned v) { out.push_back(v & 0xFF); out.push_back((v >> 8) & 0xFF); }
void Put32(std::vector<uint8_t>& out, unsigned v) { Put16(out, v & 0xFFFF); Put16(out, v >> 16); }

void PutInfoHeader(std::vector<uint8_t>& out, int width, int height, int bits, unsigned imageSize, unsigned colours) {
  Put32(out, 40); Put32(out, width); Put32(out, height); Put16(out, 1); Put16(out, bits);
  Put32(out, 0); Put32(out, imageSize); Put32(out, 0); Put32(out, 0); Put32(out, colours); Put32(out, 0);
}

Canvas DrawIcon(int size) {
  Canvas c = MakeCanvas(size, size, Black, 0);
  int s = size / 16;  // scale: the 16x16 design doubled for 32x32
  // program window at the back
  Fill(c, 5 * s, 1 * s, 15 * s - 1, 10 * s, White);
  Fill(c, 5 * s, 1 * s, 15 * s - 1, 3 * s - 1, Navy);
  Frame(c, 5 * s, 1 * s, 15 * s - 1, 10 * s, Black);
  // open box in front
  Fill(c, 1 * s, 8 * s, 11 * s - 1, 15 * s - 1, Olive);
  Frame(c, 1 * s, 8 * s, 11 * s - 1, 15 * s - 1, Black);
  Fill(c, 0, 6 * s, 4 * s, 8 * s - 1, Yellow);   // left flap
  Fill(c, 8 * s, 6 * s, 12 * s - 1, 8 * s - 1, Yellow);  // right flap
  Fill(c, 2 * s, 9 * s, 10 * s - 1, 9 * s + s / 2, Maroon);  // shadow inside the box
  return c;
}

std::vector<uint8_t> IconImage(const Canvas& c) {
  std::vector<uint8_t> out;
  int xorRow = ((c.Width * 4 + 31) / 32) * 4, andRow = ((c.Width + 31) / 32) * 4;
  PutInfoHeader(out, c.Width, c.Height * 2, 4, (xorRow + andRow) * c.Height, 16);
  for (auto& rgb : Vga) { out.push_back(rgb[2]); out.push_back(rgb[1]); out.push_back(rgb[0]); out.push_back(0); }
  for (int y = c.Height - 1; y >= 0; --y) {
    std::vector<uint8_t> row(xorRow, 0);
    for (int x = 0; x < c.Width; ++x) {
      uint8_t v = c.Opaque[y * c.Width + x] ? c.Pixels[y * c.Width + x] : 0;
      row[x / 2] |= (x % 2) ? v : (v << 4);
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  for (int y = c.Height - 1; y >= 0; --y) {
    std::vector<uint8_t> row(andRow, 0);
    for (int x = 0; x < c.Width; ++x)
      if (!c.Opaque[y * c.Width + x]) row[x / 8] |= 0x80 >> (x % 8);
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

std::vector<uint8_t> IconFile() {
  std::vector<uint8_t> big = IconImage(DrawIcon(32)), small = IconImage(DrawIcon(16));
  std::vector<uint8_t> out;
  Put16(out, 0); Put16(out, 1); Put16(out, 2);
  unsigned offset = 6 + 2 * 16;
  const std::vector<uint8_t>* images[2] = {&big, &small};
  int sizes[2] = {32, 16};
  for (int i = 0; i < 2; ++i) {
    out.push_back(sizes[i]); out.push_back(sizes[i]); out.push_back(16); out.push_back(0);
    Put16(out, 1); Put16(out, 4); Put32(out, images[i]->size()); Put32(out, offset);
    offset += images[i]->size();
  }
  out.insert(out.end(), big.begin(), big.end());
  out.insert(out.end(), small.begin(), small.end());
  return out;
}

// Palette of the page bitmap: the 16 standard colours, a teal ramp from 16 and a grey
// ramp from 64; the rest black.
void BitmapPalette(uint8_t palette[256][3]) {
  memset(palette, 0, 256 * 3);
  memcpy(palette, Vga, sizeof Vga);
  for (int i = 0; i < 48; ++i) { palette[16 + i][0] = 0; palette[16 + i][1] = 60 + i * 2; palette[16 + i][2] = 70 + i * 2; }
  for (int i = 0; i < 64; ++i) palette[64 + i][0] = palette[64 + i][1] = palette[64 + i][2] = 60 + i * 3;
}

Canvas DrawPageBitmap() {
  const int w = 189, h = 275;
  Canvas c = MakeCanvas(w, h, 16, 1);
  for (int y = 0; y < h; ++y) Fill(c, 0, y, w - 1, y, 16 + y * 47 / (h - 1));  // teal ground, lighter downwards
  // two tower cases at the back
  for (int t = 0; t < 2; ++t) {
    int x = 112 + t * 38;
    Fill(c, x, 40 + t * 12, x + 32, 200, 64 + 44);
    Frame(c, x, 40 + t * 12, x + 32, 200, Black);
    Fill(c, x + 5, 55 + t * 12, x + 27, 60 + t * 12, Grey);  // drive slots
    Fill(c, x + 5, 68 + t * 12, x + 27, 72 + t * 12, Grey);
    Disc(c, x + 16, 180, 3, 10);  // power light
  }
  // monitor
  Fill(c, 14, 60, 120, 150, 64 + 50);
  Frame(c, 14, 60, 120, 150, Black);
  Fill(c, 24, 70, 110, 138, Navy);
  Fill(c, 30, 76, 104, 82, Blue);
  Fill(c, 54, 151, 80, 166, 64 + 40);
  Fill(c, 36, 167, 98, 174, 64 + 46);
  Frame(c, 36, 167, 98, 174, Black);
  // compact disc
  Disc(c, 58, 222, 30, 64 + 60);
  Disc(c, 58, 222, 28, Silver);
  Disc(c, 50, 214, 10, Cyan);
  Disc(c, 58, 222, 6, 16);
  // floppy disks
  for (int f = 0; f < 2; ++f) {
    int x = 104 + f * 30, y = 214 + f * 10;
    Fill(c, x, y, x + 34, y + 34, f ? Maroon : Black);
    Fill(c, x + 8, y, x + 26, y + 11, Silver);
    Fill(c, x + 6, y + 18, x + 28, y + 34, White);
  }
  return c;
}

std::vector<uint8_t> BitmapFile(const Canvas& c) {
  int row = (c.Width + 3) & ~3;
  unsigned imageSize = row * c.Height, offset = 14 + 40 + 1024;
  std::vector<uint8_t> out;
  out.push_back('B'); out.push_back('M'); Put32(out, offset + imageSize); Put32(out, 0); Put32(out, offset);
  PutInfoHeader(out, c.Width, c.Height, 8, imageSize, 256);
  uint8_t palette[256][3];
  BitmapPalette(palette);
  for (auto& rgb : palette) { out.push_back(rgb[2]); out.push_back(rgb[1]); out.push_back(rgb[0]); out.push_back(0); }
  for (int y = c.Height - 1; y >= 0; --y) {
    for (int x = 0; x < row; ++x) out.push_back(x < c.Width ? c.Pixels[y * c.Width + x] : 0);
  }
  return out;
}

int WriteFile(const char* folder, const char* name, const std::vector<uint8_t>& bytes) {
  char path[1024];
  snprintf(path, sizeof path, "%s/%s", folder, name);
  FILE* f = fopen(path, "wb");
  if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || fclose(f) != 0) {
    fprintf(stderr, "assets: cannot write %s\n", path);
    return 0;
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: assets OUTPUT-FOLDER\n");
    return 2;
  }
  return WriteFile(argv[1], "setup.ico", IconFile()) && WriteFile(argv[1], "pages.bmp", BitmapFile(DrawPageBitmap())) ? 0 : 1;
}
