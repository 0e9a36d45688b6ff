// MD5 throughput of the updater's own digest against OpenSSL's MD5 in the same
// run; prints the ratio (ours / OpenSSL, higher is better).
#include <openssl/md5.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "bench_util.h"
#include "md5.h"

int main() {
    const size_t kSize = 16 << 20;
    const int kRounds = 7;
    std::vector<unsigned char> data(kSize);
    for (size_t i = 0; i < kSize; ++i) data[i] = (unsigned char)(i * 2654435761u >> 13);

    double bestOurs = 1e9, bestSsl = 1e9;
    char ours[33] = {0};
    unsigned char ssl[16];
    for (int r = 0; r < kRounds; ++r) {
        double t0 = Now();
        Md5Context ctx;
        Md5Init(&ctx);
        // The file digest feeds chunks of 102400 bytes.
        for (size_t off = 0; off < kSize; off += 102400)
            Md5Update(&ctx, data.data() + off, kSize - off < 102400 ? kSize - off : 102400);
        Md5DigestToHex(&ctx, ours);
        double t1 = Now();
        MD5_CTX sctx;
        MD5_Init(&sctx);
        for (size_t off = 0; off < kSize; off += 102400)
            MD5_Update(&sctx, data.data() + off, kSize - off < 102400 ? kSize - off : 102400);
        MD5_Final(ssl, &sctx);
        double t2 = Now();
        if (t1 - t0 < bestOurs) bestOurs = t1 - t0;
        if (t2 - t1 < bestSsl) bestSsl = t2 - t1;
    }
    char sslHex[33];
    for (int i = 0; i < 16; ++i) sprintf(sslHex + 2 * i, "%02x", ssl[i]);
    if (strcmp(ours, sslHex) != 0) {
        printf("digest mismatch: %s vs %s\n", ours, sslHex);
        return 1;
    }
    double mb = (double)kSize / (1 << 20);
    printf("md5 ours:    %.1f MB/s\n", mb / bestOurs);
    printf("md5 openssl: %.1f MB/s\n", mb / bestSsl);
    printf("ratio (our MD5/OpenSSL MD5, throughput): %.3f\n", bestSsl / bestOurs);
    return 0;
}
