/* tessaly-bench-expat IN: expat parsing the whole file in one buffer, counting elements, the
   tokenising cost any expat-based loader pays at least. */
#include <expat.h>
#include <stdio.h>
#include <stdlib.h>

static void XMLCALL onStart(void *count, const XML_Char *name, const XML_Char **attributes) {
    (void)name;
    (void)attributes;
    ++*(unsigned long *)count;
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: tessaly-bench-expat IN\n");
        return 2;
    }
    FILE *in = fopen(argv[1], "rb");
    if (!in) {
        perror(argv[1]);
        return 1;
    }
    fseek(in, 0, SEEK_END);
    long size = ftell(in);
    rewind(in);
    char *buffer = malloc(size > 0 ? (size_t)size : 1);
    if (!buffer || fread(buffer, 1, (size_t)size, in) != (size_t)size) {
        perror(argv[1]);
        return 1;
    }
    fclose(in);
    unsigned long elements = 0;
    XML_Parser parser = XML_ParserCreate(NULL);
    XML_SetUserData(parser, &elements);
    XML_SetStartElementHandler(parser, onStart);
    if (XML_Parse(parser, buffer, (int)size, 1) != XML_STATUS_OK) {
        fprintf(stderr, "%s: %s at line %lu\n", argv[1], XML_ErrorString(XML_GetErrorCode(parser)),
                (unsigned long)XML_GetCurrentLineNumber(parser));
        return 1;
    }
    XML_ParserFree(parser);
    free(buffer);
    printf("%lu elements\n", elements);
    return 0;
}
