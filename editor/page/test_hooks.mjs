// SPDX-License-Identifier: Apache-2.0
// What the browser test drives the page by, and nothing the page itself
// uses: the code editor (its text, its caret), and the readings of the text
// the graph keys its thumbnails by.
import { readNetwork } from './network_text.mjs';
import { resultKeys } from './graph.mjs';

export function exposeForTests(editor) {
  window.kvxEditor = editor;
  window.kvxGraph = { readNetwork, resultKeys };
}
