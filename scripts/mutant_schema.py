"""Mutant schemata: one source text holding every mutant of a file, each behind a runtime switch.

A site of scripts/mutants.py replaces a span of the source (an operator, a `+ 1`, a condition, a statement). The
schema wraps the smallest expression (or statement) around that span so both the mutated and the original code
are there, and a switch picks one at run time:

    a < b             ->  (MutantOn_(17) ? (a <= b) : (a < b))
    if (c)            ->  if ((MutantOn_(3) ? true : MutantOn_(4) ? false : static_cast<bool>(c)))
    Count = 0;        ->  { if (!MutantOn_(9)) { Count = 0; } }

MutantOn_(N) is true when the environment variable MUTANT_ID is N (read once per program). Its definition is put
at the top of the schema text itself, so the schema builds only in the host test trees; it never stays in a
module file (the runner restores the source). Sites nested in each other (an operator inside a condition) nest
their schemata. The expression around an operator is found from the token stream of the masked source and the
C++ operator precedence: the left operand runs back over operators that bind at least as tightly (left to right
grouping), the right one forward over operators that bind more tightly, both stopping at an unbalanced bracket,
a comma, a semicolon, a `?` or `:`, or a keyword that starts a statement.
"""

import re

HELPER = """#ifndef MUTANT_SCHEMA_HELPER_
#define MUTANT_SCHEMA_HELPER_
#pragma GCC diagnostic ignored "-Wpragmas"
#pragma GCC diagnostic ignored "-Wunknown-warning-option"
#pragma GCC diagnostic ignored "-Wparentheses"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wtype-limits"
#pragma GCC diagnostic ignored "-Wbool-compare"
#pragma GCC diagnostic ignored "-Wlogical-op"
#pragma GCC diagnostic ignored "-Wunused-value"
#pragma GCC diagnostic ignored "-Wunused-variable"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wtautological-compare"
#pragma GCC diagnostic ignored "-Wint-in-bool-context"
#pragma GCC diagnostic ignored "-Wduplicated-branches"
#pragma GCC diagnostic ignored "-Wduplicated-cond"
#pragma GCC diagnostic ignored "-Wnonnull"
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Wstringop-overflow"
#pragma GCC diagnostic ignored "-Wstringop-overread"
#pragma GCC diagnostic ignored "-Wshift-count-overflow"
#pragma GCC diagnostic ignored "-Wshift-count-negative"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wvla"
#pragma GCC diagnostic ignored "-Wempty-body"
#pragma GCC diagnostic ignored "-Wnarrowing"
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Woverflow"
#pragma GCC diagnostic ignored "-Wreturn-type"
#if defined(__ELF__)
extern "C" char *getenv(const char *) noexcept;
#else
static inline char *getenv(const char *) { return 0; }  // a firmware image: every mutant off
#endif
static inline int MutantId_() {
  static int Id = -2;
  if (Id == -2) {
    const char *Text = getenv("MUTANT_ID");
    int Value = -1;
    if (Text != 0 && *Text != 0) {
      Value = 0;
      for (; *Text >= '0' && *Text <= '9'; ++Text) Value = Value * 10 + (*Text - '0');
    }
    Id = Value;
  }
  return Id;
}
static inline bool MutantOn_(int N) { return MutantId_() == N; }
#endif
"""
HELPER_LINES = HELPER.count("\n")

# Binding strength of the binary operators (a smaller number binds more tightly).
PRECEDENCE = {
    "*": 5, "/": 5, "%": 5, "+": 6, "-": 6, "<<": 7, ">>": 7, "<=>": 8,
    "<": 9, "<=": 9, ">": 9, ">=": 9, "==": 10, "!=": 10, "&": 11, "^": 12, "|": 13, "&&": 14, "||": 15,
}
LOWEST = {"=", "+=", "-=", "*=", "/=", "%=", "<<=", ">>=", "&=", "|=", "^=", "?", ":", ",", ";"}
STATEMENT_WORDS = {"return", "case", "else", "do", "throw", "co_return", "co_yield", "goto"}
OPENERS = {"(": ")", "[": "]", "{": "}"}
CLOSERS = {")": "(", "]": "[", "}": "{"}
TOKEN = re.compile(
    r"[A-Za-z_]\w*|\d[\w.']*|<=>|<<=|>>=|->\*?|::|\+\+|--|<<|>>|<=|>=|==|!=|&&|\|\||[-+*/%&|^]=|\.\.\.|\S"
)


class Token:
    __slots__ = ("text", "start", "end", "binary")

    def __init__(self, text, start, end, binary):
        self.text, self.start, self.end, self.binary = text, start, end, binary


def tokenize(masked):
    """Tokens of the masked source; `binary` marks an operator with a blank on both sides (the formatter spaces
    binary operators and writes unary ones, template brackets and member access without)."""
    tokens = []
    n = len(masked)
    for m in TOKEN.finditer(masked):
        s, e = m.start(), m.end()
        before = masked[s - 1] if s else "\n"
        after = masked[e] if e < n else "\n"
        tokens.append(Token(m.group(0), s, e, before in " \t\n" and after in " \t\n"))
    return tokens


def is_stop(token, level):
    """A token the operand of an operator of this precedence level cannot run over, outside brackets."""
    t = token.text
    if t in LOWEST or t in STATEMENT_WORDS:
        return True
    return token.binary and t in PRECEDENCE and PRECEDENCE[t] > level


def left_extent(tokens, index, level):
    """Start offset of the left operand of the binary operator tokens[index], or None."""
    depth = 0
    i = index - 1
    start = None
    while i >= 0:
        tok = tokens[i]
        t = tok.text
        if t in CLOSERS:
            depth += 1
        elif t in OPENERS:
            if depth == 0:
                break
            depth -= 1
        elif depth == 0 and is_stop(tok, level):
            break
        start = tok.start
        i -= 1
    return start


def right_extent(tokens, index, level):
    """End offset of the right operand of the binary operator tokens[index], or None."""
    depth = 0
    i = index + 1
    end = None
    while i < len(tokens):
        tok = tokens[i]
        t = tok.text
        if t in OPENERS:
            depth += 1
        elif t in CLOSERS:
            if depth == 0:
                break
            depth -= 1
        elif depth == 0 and (is_stop(tok, level) or (tok.binary and PRECEDENCE.get(t) == level)):
            break
        end = tok.end
        i += 1
    return end


def postfix_operand_start(tokens, index):
    """Start of the operand of a postfix ++/-- at tokens[index]: a name with member accesses, calls and
    subscripts, or a bracketed expression."""
    i = index - 1
    start = None
    while i >= 0:
        t = tokens[i].text
        if t in CLOSERS:
            depth = 0
            while i >= 0:
                if tokens[i].text in CLOSERS:
                    depth += 1
                elif tokens[i].text in OPENERS:
                    depth -= 1
                    if depth == 0:
                        break
                i -= 1
            if i < 0:
                return None
            start = tokens[i].start
            i -= 1
        elif re.match(r"[A-Za-z_]\w*$", t):
            start = tokens[i].start
            i -= 1
        else:
            return None
        if i >= 0 and tokens[i].text in (".", "->", "::"):
            i -= 1
            continue
        if i >= 0 and tokens[i].text in CLOSERS and tokens[i + 1].text in ("(", "["):
            continue
        return start
    return start


def prefix_operand_end(tokens, index):
    """End of the operand of a prefix ++/-- at tokens[index]."""
    i = index + 1
    end = None
    while i < len(tokens):
        t = tokens[i].text
        if t == "(" or t == "[":
            depth = 0
            while i < len(tokens):
                if tokens[i].text in OPENERS:
                    depth += 1
                elif tokens[i].text in CLOSERS:
                    depth -= 1
                    if depth == 0:
                        break
                i += 1
            if i >= len(tokens):
                return None
            end = tokens[i].end
            i += 1
        elif re.match(r"[A-Za-z_]\w*$", t) or t == "*":
            end = tokens[i].end
            i += 1
            if t == "*":
                continue
        else:
            return end
        if i < len(tokens) and tokens[i].text in (".", "->", "::"):
            i += 1
            continue
        if i < len(tokens) and tokens[i].text in ("(", "["):
            continue
        return end
    return end


class Node:
    """A span of the source [start, end) and the sites that rewrite part of it; `statement` for a removed
    statement (rewritten as a guarded block rather than an expression)."""

    def __init__(self, start, end, statement=False):
        self.start, self.end, self.statement = start, end, statement
        self.sites = []  # (site number, site)
        self.children = []


def site_span(site, masked, tokens, by_start):
    """The span the schema of the site wraps, or None when it cannot be found."""
    if site.kind in ("condition",):
        return site.start, site.end, False
    index = by_start.get(site.start)
    if index is None:
        return None
    tok = tokens[index]
    if site.kind == "statement":
        # A removed "statement" that continues the expression of the line before (after an operator, a comma
        # or a keyword) is not a statement: that mutant does not compile, and is built alone.
        before = tokens[index - 1].text if index else ";"
        if before not in (";", "{", "}", ")", ":", "else", "do"):
            return None
        return site.start, site.end, True
    if site.kind == "increment":
        if index + 1 < len(tokens) and tokens[index + 1].start == tok.end and re.match(r"[\w(*]", tokens[index + 1].text):
            end = prefix_operand_end(tokens, index)
            return (tok.start, end, False) if end else None
        start = postfix_operand_start(tokens, index)
        return (start, tok.end, False) if start is not None else None
    level = PRECEDENCE.get(tok.text)
    if level is None:
        return None
    start = left_extent(tokens, index, level)
    end = right_extent(tokens, index, level)
    if start is None or end is None:
        return None
    return start, end, False


def build_nodes(sites, masked):
    """Nodes of the sites, nested by span; sites whose span cannot be found or overlaps another's without
    nesting are returned apart (they fall back to one build per mutant)."""
    tokens = tokenize(masked)
    by_start = {t.start: i for i, t in enumerate(tokens)}
    nodes = {}
    left_out = []
    for number, site in enumerate(sites):
        span = site_span(site, masked, tokens, by_start)
        if span is None or not (span[0] <= site.start and site.end <= span[1]):
            left_out.append(number)
            continue
        node = nodes.get(span)
        if node is None:
            node = nodes[span] = Node(*span)
        node.sites.append((number, site))
    roots = []
    # Outer spans first: a node becomes the child of the innermost node that contains it.
    for node in sorted(nodes.values(), key=lambda n: (n.start, -n.end, n.statement)):
        container = None
        level = roots
        conflict = False
        while True:
            inner = None
            for other in level:
                if other.start <= node.start and node.end <= other.end:
                    inner = other
                    break
                if other.start < node.end and node.start < other.end:
                    conflict = True
                    break
            if conflict or inner is None:
                break
            container = inner
            level = inner.children
        if conflict:
            left_out += [number for number, _ in node.sites]
            continue
        # A child may not overlap the span its parent's own sites replace (only whole-span replacements do).
        if container is not None:
            replaced = [s for _, s in container.sites if not (s.start == container.start and s.end == container.end)]
            if any(s.start < node.end and node.start < s.end for s in replaced):
                left_out += [number for number, _ in node.sites]
                continue
        level.append(node)
    return roots, sorted(left_out)


class Generator:
    def __init__(self, text):
        self.text = text
        self.out = []
        self.length = 0
        self.spans = []  # (output start, output end, node)

    def emit(self, s):
        self.out.append(s)
        self.length += len(s)

    def range(self, start, end, children):
        """Emits text[start:end] with the schemata of the child nodes inside it."""
        pos = start
        for child in sorted(children, key=lambda c: c.start):
            if child.end <= start or child.start >= end:
                continue
            self.emit(self.text[pos : child.start])
            self.node(child)
            pos = child.end
        self.emit(self.text[pos:end])

    def node(self, node):
        out_start = self.length
        if node.statement:
            guard = " || ".join(f"MutantOn_({number})" for number, _ in node.sites)
            self.emit(f"{{ if (!({guard})) {{ ")
            self.range(node.start, node.end, node.children)
            self.emit(" } }")
        else:
            self.emit("(")
            condition = any(s.kind == "condition" for _, s in node.sites)
            for number, site in node.sites:
                self.emit(f"MutantOn_({number}) ? (")
                if site.start == node.start and site.end == node.end:
                    self.emit(site.replacement)
                else:
                    self.range(node.start, site.start, node.children)
                    self.emit(site.replacement)
                    self.range(site.end, node.end, node.children)
                self.emit(") : ")
            self.emit("static_cast<bool>(" if condition else "(")
            self.range(node.start, node.end, node.children)
            self.emit("))")
        self.spans.append((out_start, self.length, node))


def schema_text(text, sites, masked, excluded=()):
    """(schema source, the site numbers it holds, map from an output offset to the innermost node's site
    numbers). `excluded` site numbers are left as they are in the source."""
    chosen = [s if i not in excluded else None for i, s in enumerate(sites)]
    numbered = [s for s in chosen if s is not None]
    index_of = {id(s): i for i, s in enumerate(sites)}
    roots, left_out = build_nodes(numbered, masked)
    # build_nodes numbered the chosen sites from 0: map back to the file's site numbers.
    renumber = [index_of[id(s)] for s in numbered]

    def fix(node):
        node.sites = [(renumber[n], s) for n, s in node.sites]
        for c in node.children:
            fix(c)

    for r in roots:
        fix(r)
    left_out = [renumber[n] for n in left_out]
    gen = Generator(text)
    gen.emit(HELPER)
    gen.range(0, len(text), roots)
    held = sorted(n for _, _, node in gen.spans for n, _ in node.sites)
    return "".join(gen.out), sorted(set(held)), left_out, gen.spans


def sites_at(source_text, spans, line, column):
    """Site numbers of the innermost schema node whose output covers the (1-based) line and column, or None."""
    offset = 0
    for _ in range(line - 1):
        nl = source_text.find("\n", offset)
        if nl < 0:
            return None
        offset = nl + 1
    offset += column - 1
    best = None
    for start, end, node in spans:
        if start <= offset < end and (best is None or end - start < best[1] - best[0]):
            best = (start, end, node)
    if best is None:
        return None
    return [n for n, _ in best[2].sites]
