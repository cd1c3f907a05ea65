// The extension in Debian's Chromium against a recording native host (the
// checks themselves: support/extension-suite.mjs).
import { chromiumDriver } from './support/browser.mjs';
import { extensionSuite } from './support/extension-suite.mjs';

extensionSuite(chromiumDriver);
