// Enabled: not disabled natively, which :disabled decides the way the browser does
// (disabled form controls, options, optgroups and fieldsets, and controls inside a
// disabled fieldset outside its first legend), and no aria-disabled="true" on it.
(element) => {
  const aria = element.getAttribute('aria-disabled');
  if (aria !== null && aria.trim().toLowerCase() === 'true') {
    return false;
  }
  return !element.matches(':disabled');
}
