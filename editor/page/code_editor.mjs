// SPDX-License-Identifier: Apache-2.0
// The live editor's code editor: CodeMirror 6 with a mode for the network
// format, completion and hover from the library's catalogue, the server's
// errors as diagnostics, undo over every edit.
import { EditorState, Prec, StateEffect, StateField, Transaction } from '@codemirror/state';
import {
  EditorView, keymap, lineNumbers, highlightActiveLine, highlightActiveLineGutter, drawSelection, hoverTooltip,
} from '@codemirror/view';
import { defaultKeymap, history, historyKeymap, indentWithTab, insertNewlineAndIndent } from '@codemirror/commands';
import { StreamLanguage, HighlightStyle, syntaxHighlighting, bracketMatching } from '@codemirror/language';
import {
  autocompletion, completionKeymap, closeBrackets, closeCompletion, completionStatus, selectedCompletion,
} from '@codemirror/autocomplete';
import { lintGutter, setDiagnostics } from '@codemirror/lint';
import { searchKeymap, highlightSelectionMatches } from '@codemirror/search';
import { tags } from '@lezer/highlight';

import { formatDefault, signature } from './catalogue_text.mjs';
import { readNetwork } from './network_text.mjs';

const statements = ['shader', 'param', 'connect', 'splat', 'output'];
const statementHelp = {
  shader: 'shader NAME INSTANCE: makes an instance of a shader',
  param: 'param INSTANCE.PARAMETER VALUE: sets a parameter to a constant (components separated by commas)',
  connect: 'connect INSTANCE.result INSTANCE.PARAMETER: the parameter takes another instance\'s result',
  splat: 'splat INSTANCE.result INSTANCE.PARAMETER: a float result repeated into every component',
  output: 'output INSTANCE: the instance shaded',
};

// ---- The mode: a line is a statement, its words in fixed places.

const networkLanguage = StreamLanguage.define({
  name: 'kvx-network',
  startState: () => ({ word: 0, keyword: '' }),
  token(stream, state) {
    if (stream.sol()) { state.word = 0; state.keyword = ''; }
    if (stream.eatSpace()) return null;
    if (stream.peek() === '#') { stream.skipToEnd(); return 'comment'; }
    const word = state.word++;
    if (word === 0) {
      stream.match(/^\S+/);
      state.keyword = stream.current();
      return statements.includes(state.keyword) ? 'keyword' : 'invalid';
    }
    if (state.keyword === 'shader') {
      stream.match(/^\S+/);
      return word === 1 ? 'typeName' : 'variableName.definition';
    }
    if (stream.match(/^[A-Za-z_][A-Za-z0-9_]*(?=\.)/)) { state.word--; return 'variableName'; }
    if (stream.match(/^\.result\b/)) return 'propertyName.special';
    if (stream.match(/^\.[A-Za-z_][A-Za-z0-9_]*/)) return 'propertyName';
    if (stream.match(/^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?|^[-+]?(inf|nan)\b/)) return 'number';
    if (stream.match(/^(true|false)\b/)) return 'bool';
    if (stream.match(/^,/)) { state.word--; return 'punctuation'; }
    stream.match(/^[^\s,]+/);
    return state.keyword === 'output' ? 'variableName' : null;
  },
  languageData: { commentTokens: { line: '#' } },
});

const highlighting = HighlightStyle.define([
  { tag: tags.comment, class: 'tok-comment' },
  { tag: tags.keyword, class: 'tok-keyword' },
  { tag: tags.typeName, class: 'tok-shader' },
  { tag: [tags.variableName, tags.definition(tags.variableName)], class: 'tok-instance' },
  { tag: tags.special(tags.propertyName), class: 'tok-result' },
  { tag: tags.propertyName, class: 'tok-parameter' },
  { tag: [tags.number, tags.bool], class: 'tok-number' },
  { tag: tags.invalid, class: 'tok-invalid' },
]);

// ---- What the text makes, read from its lines

// Instance name → {shader, line}, from the `shader` lines.
// The instances the text makes, by name: {shader, line}.
function madeInstances(doc) { return readNetwork(doc.toString()).nodes; }

function infoNode(title, lines) {
  const box = document.createElement('div');
  box.className = 'cm-kvx-info';
  const head = document.createElement('div');
  head.className = 'cm-kvx-info-title';
  head.textContent = title;
  box.append(head);
  for (const line of lines) {
    const text = document.createElement('div');
    text.textContent = line;
    box.append(text);
  }
  return box;
}

// ---- Completion

function completionSource(catalogue) {
  return (context) => {
    const line = context.state.doc.lineAt(context.pos);
    const before = line.text.slice(0, context.pos - line.from);
    if (before.includes('#')) return null;
    const words = before.split(/\s+/).filter((w, i, all) => w !== '' || i === all.length - 1);
    const current = /\s$/.test(before) || before === '' ? '' : words[words.length - 1];
    const index = current === '' ? words.filter(Boolean).length : words.length - 1;
    const keyword = words[0];
    const from = context.pos - current.length;
    // Unasked, the list opens on a word being typed, never on an empty one:
    // Enter at a line's end is a new line.
    if (!context.explicit && current === '') return null;

    if (index === 0)
      return {
        from, validFor: /^\w*$/,
        options: statements.map((s) => ({ label: s, type: 'keyword', detail: statementHelp[s].split(':')[0] })),
      };
    if (keyword === 'shader' && index === 1)
      return {
        from, validFor: /^\w*$/,
        options: catalogue().shaders.map((s) => ({
          label: s.name, type: 'class', detail: signature(s),
          info: () => infoNode(s.name, [signature(s), s.description]),
        })),
      };
    const wantsInstance = (keyword === 'output' && index === 1) ||
      (['param', 'connect', 'splat'].includes(keyword) && (index === 1 || (index === 2 && keyword !== 'param')));
    if (!wantsInstance) return null;
    const made = madeInstances(context.state.doc);
    const dot = current.indexOf('.');
    if (dot < 0) {
      const options = [...made].map(([name, about]) => ({
        label: name, type: 'variable', detail: about.shader, apply: keyword === 'output' ? name : `${name}.`,
      }));
      return { from, validFor: /^\w*$/, options };
    }
    const instance = made.get(current.slice(0, dot));
    const shader = instance && catalogue().byName.get(instance.shader);
    if (!shader) return null;
    const source = keyword !== 'param' && index === 1;
    const options = source ? [] : shader.parameters.map((p) => ({
      label: p.name, type: 'property', detail: `${p.type}${formatDefault(p.default)}`,
    }));
    options.push({ label: 'result', type: 'property', detail: `${shader.result}: the instance's result`, boost: source ? 1 : -1 });
    return { from: from + dot + 1, validFor: /^\w*$/, options };
  };
}

// Enter on a word the chosen completion would leave as it is ends the line:
// the list offered nothing the user asked for.
const enterAfterACompleteWord = Prec.highest(keymap.of([{
  key: 'Enter',
  run: (view) => {
    if (completionStatus(view.state) !== 'active') return false;
    const chosen = selectedCompletion(view.state);
    const head = view.state.selection.main.head;
    const word = view.state.wordAt(head);
    const typed = word ? view.state.sliceDoc(word.from, head) : '';
    if (!chosen || typeof chosen.apply === 'function' || (chosen.apply ?? chosen.label) !== typed) return false;
    closeCompletion(view);
    return insertNewlineAndIndent(view);
  },
}]));

// ---- Hover over a shader or instance name

function hover(catalogue) {
  return hoverTooltip((view, pos) => {
    const line = view.state.doc.lineAt(pos);
    const text = line.text;
    let start = pos - line.from, end = start;
    while (start > 0 && /\w/.test(text[start - 1])) --start;
    while (end < text.length && /\w/.test(text[end])) ++end;
    if (start === end) return null;
    const word = text.slice(start, end);
    let shader = catalogue().byName.get(word);
    let title = word;
    if (!shader) {
      const made = madeInstances(view.state.doc).get(word);
      if (!made) return null;
      shader = catalogue().byName.get(made.shader);
      if (!shader) return null;
      title = `${word}: ${made.shader}, made on line ${made.line}`;
    }
    return {
      pos: line.from + start, end: line.from + end, above: true,
      create: () => ({ dom: infoNode(title, [signature(shader), shader.description]) }),
    };
  });
}

// ---- The page's side

// Problems the server reported, for whoever lists them; a field so that they
// move with the text as it changes.
const setProblems = StateEffect.define();
const problems = StateField.define({
  create: () => [],
  update(value, transaction) {
    for (const effect of transaction.effects) if (effect.is(setProblems)) return effect.value;
    return value;
  },
});

// parent: where the editor goes; catalogue(): {shaders, byName}; changed():
// after every edit of the text; moved(line): the caret is on another line;
// label: its accessible name.
export function create(parent, { catalogue, changed, moved = () => {}, label }) {
  const theme = EditorView.theme({
    '&': { height: '100%', color: 'var(--ink)', backgroundColor: 'var(--paper)' },
    '.cm-content': { caretColor: 'var(--ink)', fontFamily: 'ui-monospace, monospace' },
    '.cm-gutters': { backgroundColor: 'var(--paper)', color: 'var(--muted)', borderRight: '1px solid var(--rule)' },
    '.cm-activeLine, .cm-activeLineGutter': { backgroundColor: 'var(--active)' },
    '&.cm-focused .cm-selectionBackground, .cm-selectionBackground': { backgroundColor: 'var(--selection)' },
    '.cm-tooltip': { backgroundColor: 'var(--paper)', color: 'var(--ink)', border: '1px solid var(--rule)' },
  });
  const view = new EditorView({
    parent,
    state: EditorState.create({
      doc: '',
      extensions: [
        lineNumbers(), highlightActiveLineGutter(), highlightActiveLine(), drawSelection(), history(),
        bracketMatching(), closeBrackets(), highlightSelectionMatches(), lintGutter(), problems,
        networkLanguage, syntaxHighlighting(highlighting), theme,
        autocompletion({ override: [completionSource(catalogue)], icons: false }), enterAfterACompleteWord,
        hover(catalogue),
        keymap.of([...completionKeymap, ...searchKeymap, ...historyKeymap, ...defaultKeymap, indentWithTab]),
        EditorView.updateListener.of((update) => {
          if (update.docChanged) changed();
          const line = (state) => state.doc.lineAt(state.selection.main.head).number;
          if (update.selectionSet && line(update.state) !== line(update.startState)) moved(line(update.state));
        }),
        EditorView.contentAttributes.of({ 'aria-label': label, spellcheck: 'false' }),
      ],
    }),
  });

  return {
    view,
    get text() { return view.state.doc.toString(); },
    // The whole text replaced by the file's, as read: one step undo takes
    // back, except the first, which undo does not empty again.
    set text(value) {
      view.dispatch({
        changes: { from: 0, to: view.state.doc.length, insert: value },
        annotations: Transaction.addToHistory.of(view.state.doc.length > 0),
      });
    },
    // A line after the caret's, the caret at its end: an edit like any other.
    insertLine(line) {
      const state = view.state;
      const at = state.doc.lineAt(state.selection.main.head);
      const glue = at.text === '' && at.number === state.doc.lines && at.from === state.doc.length ? '' : '\n';
      const insert = glue === '' ? line : `\n${line}`;
      view.dispatch({
        changes: { from: at.to, insert },
        selection: { anchor: at.to + insert.length },
        scrollIntoView: true, userEvent: 'input.catalogue',
      });
      view.focus();
    },
    // A line at the end of the text, as an edit.
    appendLine(line) {
      const doc = view.state.doc;
      const insert = doc.length === 0 || doc.sliceString(doc.length - 1) === '\n' ? `${line}\n` : `\n${line}\n`;
      view.dispatch({ changes: { from: doc.length, insert }, userEvent: 'input.graph' });
    },
    // Line `number` (1-based) replaced by `text`, as one edit.
    replaceLine(number, text) {
      const doc = view.state.doc;
      if (number < 1 || number > doc.lines) return;
      const line = doc.line(number);
      view.dispatch({ changes: { from: line.from, to: line.to, insert: text }, userEvent: 'input.graph' });
    },
    // Line `number` (1-based) taken out, as an edit.
    deleteLine(number) {
      const doc = view.state.doc;
      if (number < 1 || number > doc.lines) return;
      const line = doc.line(number);
      const to = number < doc.lines ? doc.line(number + 1).from : line.to;
      const from = number < doc.lines || number === 1 ? line.from : doc.line(number - 1).to;
      view.dispatch({ changes: { from, to }, userEvent: 'delete.graph' });
    },
    // The server's error, at its line (1-based), or none.
    showProblem(problem) {
      const diagnostics = [];
      if (problem && problem.line >= 1 && problem.line <= view.state.doc.lines) {
        const line = view.state.doc.line(problem.line);
        diagnostics.push({ from: line.from, to: line.to, severity: 'error', message: problem.message });
      }
      view.dispatch(setDiagnostics(view.state, diagnostics), { effects: setProblems.of(problem ? [problem] : []) });
    },
    // The first `word` on the line (1-based) replaced by `by`, as an edit.
    replaceWord(number, word, by) {
      if (number < 1 || number > view.state.doc.lines) return false;
      const line = view.state.doc.line(number);
      const found = new RegExp(`(^|[\\s.])(${word.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')})(?=$|[\\s.])`).exec(line.text);
      if (!found) return false;
      const from = line.from + found.index + found[1].length;
      view.dispatch({ changes: { from, to: from + word.length, insert: by }, userEvent: 'input.suggestion' });
      view.focus();
      return true;
    },
    // The caret to the start of the line, in view; the focus stays where it is.
    showLine(number) {
      const line = view.state.doc.line(Math.min(Math.max(number, 1), view.state.doc.lines));
      view.dispatch({ selection: { anchor: line.from }, scrollIntoView: true });
    },
    goToLine(number) {
      const line = view.state.doc.line(Math.min(Math.max(number, 1), view.state.doc.lines));
      view.dispatch({ selection: { anchor: line.from, head: line.to }, scrollIntoView: true });
      view.focus();
    },
    // The word under the caret, and the line it is on.
    wordAtCaret() {
      const head = view.state.selection.main.head;
      const word = view.state.wordAt(head);
      return word ? view.state.sliceDoc(word.from, word.to) : '';
    },
    caretLine() { return view.state.doc.lineAt(view.state.selection.main.head).number; },
    instances() { return madeInstances(view.state.doc); },
    focus() { view.focus(); },
  };
}
