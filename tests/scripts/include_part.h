// Included by include.c: counts how often it is run.
runs = runs + 1;
