# The fleet test's stdout callback: at the end of a run it prints, one line
# each, what the test compares: per host its changed and failed task counts;
# each changed task with its diff; each failure with its message; each
# warning; the settings the facts show. The serial numbers the facts show go,
# one a line, to the file ORVA_FLEET_SERIALS names. (ansible-core has no JSON
# stdout callback of its own.)
from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = '''
    name: fleet_results
    type: stdout
    short_description: the lines the fleet test compares
    description: Prints the lines the fleet test compares, at the end of the run.
'''

import json
import os

from ansible.plugins.callback import CallbackBase


class CallbackModule(CallbackBase):
    CALLBACK_VERSION = 2.0
    CALLBACK_TYPE = 'stdout'
    CALLBACK_NAME = 'fleet_results'

    def __init__(self):
        super(CallbackModule, self).__init__()
        self.tasks = []  # (name, {host: result}) in the order the tasks ran

    def v2_playbook_on_task_start(self, task, is_conditional):
        self.tasks.append((task.get_name(), {}))

    def record(self, result, failed):
        outcome = dict(result._result)
        if failed:
            outcome['failed'] = True
        self.tasks[-1][1][result._host.get_name()] = outcome

    def v2_runner_on_ok(self, result):
        self.record(result, False)

    def v2_runner_on_failed(self, result, ignore_errors=False):
        self.record(result, True)

    def v2_runner_on_unreachable(self, result):
        self.record(result, True)

    def v2_playbook_on_stats(self, stats):
        lines = []
        serials = []
        for host in sorted(stats.processed):
            counts = stats.summarize(host)
            lines.append('%s changed=%d failed=%d' % (host, counts['changed'],
                                                      counts['failures'] + counts['unreachable']))
        for name, hosts in self.tasks:
            for host, result in sorted(hosts.items()):
                if result.get('failed'):
                    lines.append('failed %s %s: %s' % (host, name, result.get('msg')))
                elif result.get('changed'):
                    diff = result.get('diff')
                    text = ''
                    if isinstance(diff, dict) and 'before' in diff:
                        text = ': %s -> %s' % (json.dumps(diff['before'], sort_keys=True),
                                               json.dumps(diff['after'], sort_keys=True))
                    lines.append('changed %s %s%s' % (host, name, text))
                for warning in result.get('warnings', []):
                    lines.append('warned %s %s: %s' % (host, name, warning))
                orva = result.get('ansible_facts', {}).get('orva')
                if orva:
                    dirs = orva['server_dirs']
                    rows = ','.join(orva['autorun']['rows'][:3])
                    lines.append('facts %s %s %s %s %s' % (host, orva['display']['mode'], dirs['ftp']['path'],
                                                           dirs['http']['path'], rows))
                    serials.append(orva['identity']['serial'])
        self._display.display('\n'.join(lines))
        with open(os.environ['ORVA_FLEET_SERIALS'], 'w') as out:
            out.write(''.join(serial + '\n' for serial in serials))
