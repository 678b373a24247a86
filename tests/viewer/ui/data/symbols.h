// Symbols for the symbol-table loaders.
#define IDS_FIRST 100
#define _HIDDEN 1
  #define IDS_SECOND	100
#define IDS_SEVEN 7 // a note
#defineX IDS_NINE 9
#define IDS_INCOMPLETE
int unrelated = 3;
