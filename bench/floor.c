/* The floor: the least any splitter must do. Maps the source, finds each
 * BEGIN:VCARD .. END:VCARD block by plain search, and writes it with one
 * open, one write and one close. No framing, no checks. With THREADS (the
 * two-thread floor), the cards are found first and then written by that many
 * threads, thread t taking every card n with n % THREADS == t.
 *   floor SOURCE DEST_DIR [THREADS] */
#define _GNU_SOURCE
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

struct card {
  const char* begin;
  const char* end;
};

static struct card* cards;
static unsigned long count;
static unsigned long threads = 1;
static const char* folder;

static int write_card(unsigned long n) {
  char name[4096];
  snprintf(name, sizeof name, "%s/vCard%lu.vcf", folder, n + 1);
  int out = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0666);
  const long size = (long)(cards[n].end - cards[n].begin);
  return out >= 0 && write(out, cards[n].begin, (size_t)size) == size && close(out) == 0;
}

static void* writer(void* first) {
  for (unsigned long n = (unsigned long)first; n < count; n += threads)
    if (!write_card(n)) return (void*)1;
  return NULL;
}

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) return 2;
  if (argc == 4) threads = strtoul(argv[3], NULL, 10);
  if (threads < 1 || threads > 64) return 2;
  folder = argv[2];
  int fd = open(argv[1], O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return 1;
  if (st.st_size == 0) return 0;
  const char* data = mmap(NULL, (size_t)st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
  const char* end = data + st.st_size;
  const char* p = data;
  unsigned long room = 0;
  while ((p = memmem(p, (size_t)(end - p), "BEGIN:VCARD", 11)) != NULL) {
    const char* stop = memmem(p, (size_t)(end - p), "END:VCARD", 9);
    if (!stop) break;
    stop += 9;
    if (threads == 1) {
      /* One thread writes each card as it is found, as before. */
      struct card one = {p, stop};
      cards = &one;
      count = 1;
      char name[4096];
      snprintf(name, sizeof name, "%s/vCard%lu.vcf", folder, ++room);
      int out = open(name, O_WRONLY | O_CREAT | O_TRUNC, 0666);
      if (out < 0 || write(out, p, (size_t)(stop - p)) != stop - p || close(out) != 0) return 1;
    } else {
      if (count == room) {
        room = room ? 2 * room : 1024;
        cards = realloc(cards, room * sizeof *cards);
        if (!cards) return 1;
      }
      cards[count++] = (struct card){p, stop};
    }
    p = stop;
  }
  if (threads == 1) return 0;
  pthread_t ids[64];
  for (unsigned long t = 0; t < threads; ++t) pthread_create(&ids[t], NULL, writer, (void*)t);
  int failed = 0;
  for (unsigned long t = 0; t < threads; ++t) {
    void* result;
    pthread_join(ids[t], &result);
    failed |= result != NULL;
  }
  return failed;
}
