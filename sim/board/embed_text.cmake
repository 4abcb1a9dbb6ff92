# Writes OUTPUT: a C++ file defining sim::DefaultBoardText() as the text of INPUT.
file(READ ${INPUT} text)
# A raw string literal with a delimiter the board file cannot end early.
file(WRITE ${OUTPUT} "// Generated from boards/default.yaml; do not edit.\n"
     "namespace sim {\nconst char* DefaultBoardText() {\n  return R\"BOARD_FILE(${text})BOARD_FILE\";\n}\n}  // namespace sim\n")
