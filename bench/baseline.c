/* The floor of a run: a static C program that prints one line. */
#include <stdio.h>

int main(void)
{
    printf("%s\n", "Z:\\tmp\\work");
    return 0;
}
