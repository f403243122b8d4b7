// The velk2 executable: the program's entry is the application frame's own.
int main() { return 0; }
