// The tables of the standards, in this library's own layout: one source
// file per family of standards, each table preceded by a line naming its
// source (standard, clause, table). Internal to the codes library.
#ifndef LDPC_CODES_TABLES_H
#define LDPC_CODES_TABLES_H

namespace ldpc::tables {

// 5G NR: one non-empty entry of a base graph, V(i,j) per set index 0..7.
struct nrentry {
  short row;
  short column;
  short shift[8];
};
extern const nrentry nrbasegraph1[316];  // 46 x 68
extern const nrentry nrbasegraph2[197];  // 42 x 52

// A base matrix of 24 block columns, entries row by row, -1 empty.
struct basematrix {
  const char *rate;
  int length;  // codeword length n the matrix is given for
  int lift;    // its Z
  int rows;
  const short *entries;
};
extern const basematrix wifimatrices[12];  // rates 1/2, 2/3, 3/4, 5/6 x 648, 1296, 1944
extern const basematrix wimaxmatrices[6];  // rates 1/2, 2/3A, 2/3B, 3/4A, 3/4B, 5/6 at z0 = 96

// DVB-S2: the address table of one code; row g lists the parity addresses
// of information bit 360 g, addresses[start[g] .. start[g + 1] - 1].
struct addresstable {
  const char *rate;
  int n;  // 64800 or 16200
  int k;
  int q;       // (n - k) / 360
  int groups;  // k / 360
  const int *start;
  const int *addresses;
};
extern const addresstable dvbs2tables[21];  // 11 normal, then 10 short frames

// CCSDS AR4JA permutations and the C2 circulants.
extern const int ar4jatheta[26];
extern const int ar4japhi[4][26][7];
extern const int c2circulants[2][16][2];

}  // namespace ldpc::tables

#endif
