/* The floor: the least any splitter must do. Maps the source, finds each
 * BEGIN:VCARD .. END:VCARD block by plain search, and writes it with one
 * open, one write and one close. No framing, no checks.
 *   floor SOURCE DEST_DIR */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  int fd = open(argv[1], O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return 1;
  if (st.st_size == 0) return 0;
  const char* data = mmap(NULL, (size_t)st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
  const char* end = data + st.st_size;
  const char* p = data;
  char name[4096];
  unsigned long n = 0;
  while ((p = memmem(p, (size_t)(end - p), "BEGIN:VCARD", 11)) != NULL) {
    const char* stop = memmem(p, (size_t)(end - p), "END:VCARD", 9);
    if (!stop) break;
    stop += 9;
    snprintf(name, sizeof name, "%s/vCard%lu.vcf", argv[2], ++n);
    int out = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0 || write(out, p, (size_t)(stop - p)) != stop - p || close(out) != 0) return 1;
    p = stop;
  }
  return 0;
}
