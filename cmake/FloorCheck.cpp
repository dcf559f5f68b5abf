// Links one floor of the program whole against the floors below it and nothing else: a
// call up the floors leaves a symbol undefined and this program fails to link.
int main() { return 0; }
